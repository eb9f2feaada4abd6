// The program's appliance requests: when the proxy is discovered.
#include "core/app/ProgramAppliance_win.h"

#include "core/app/tests/ManagerFakes.h"

#include <gtest/gtest.h>

#include <winsock2.h>

namespace {

// A loopback port nobody listens on: every request fails at once.
uint16_t ClosedPort()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    closesocket(s);
    WSACleanup();
    return ntohs(a.sin_port);
}

} // namespace

// Discovery (a script fetch, a DNS lookup per bypass entry) runs once per
// connection attempt on the thread that starts it, not before each request:
// the lobby's participant refreshes and the tunnels use what it settled.
TEST(ProgramAppliance, ProxyDiscoveredOncePerConnectionAttempt)
{
    CallLog log;
    ManagerServices services;
    services.transport = std::make_unique<FakeTransport>(log);
    services.appliance = std::make_unique<FakeAppliance>(log);
    CManager manager(GetModuleHandleW(nullptr), std::move(services));
    manager.applianceHost = "127.0.0.1";
    manager.appliancePort = ClosedPort();
    manager.meetingId = "100001";
    int discovered = 0;
    std::string seenHost;
    ProgramAppliance appliance(manager, [&](const ProxyConfig& config, uint8_t, const std::string& host,
                                            const std::string&) {
        ++discovered;
        seenHost = host;
        return config;
    });
    ASSERT_TRUE(appliance.CreateSession());

    struct Step {
        const char* what;
        std::function<void()> run;
        int discoveredAfter;
    };
    const Step steps[] = {
        {"session test", [&] { appliance.SessionTest(); }, 1},
        {"participant refreshes", [&] { for (int i = 0; i < 3; ++i) appliance.ReadParticipants(); }, 1},
        {"tunnel", [&] { appliance.EffectiveProxy(); }, 1},
        {"logout", [&] { appliance.Logout(); }, 1},
        {"meeting test", [&] { appliance.MeetingTest(); }, 2},
        {"refresh", [&] { appliance.ReadParticipants(); }, 2},
        {"settings read again", [&] { appliance.ReadProxySettings(false); appliance.ReadParticipants(); }, 3},
        {"address resolved anew", [&] {
             manager.applianceAddress.clear();
             appliance.ResolveApplianceHost();
             appliance.EffectiveProxy();
         }, 4},
        {"same address again", [&] { appliance.ResolveApplianceHost(); appliance.EffectiveProxy(); }, 4},
    };
    for (const Step& s : steps) {
        s.run();
        EXPECT_EQ(discovered, s.discoveredAfter) << s.what;
    }
    EXPECT_EQ(seenHost, "127.0.0.1");
}
