// The program's meeting transport on real loopback channels: senders on other
// threads while the main thread opens and closes one meeting's link after
// another.
#include "core/app/LinkTransport_win.h"

#include "appliance/cgi/CgiSession.h"
#include "core/app/tests/ManagerFakes.h"
#include "core/tunnel/ApplianceTunnel_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>

namespace {

ManagerServices FakeServices(CallLog& log)
{
    ManagerServices s;
    s.transport = std::make_unique<FakeTransport>(log);
    s.appliance = std::make_unique<FakeAppliance>(log);
    return s;
}

} // namespace

// Regression: each meeting replaced the link under threads that were still
// sending through the old one (a canvas or voice thread after its meeting):
// they could use freed memory. Now a late packet finds a closed link.
TEST(LinkTransport, SendersOnOtherThreadsOutliveEachMeetingsLink)
{
    CallLog log;
    CManager manager(GetModuleHandleW(nullptr), FakeServices(log));
    LinkTransport transport(manager, {});
    ControlPacket packet = BuildControlMessage([] {
        ControlMessage m;
        m.type = PLP_KICK;
        m.name = "s2";
        return m;
    }());
    ASSERT_FALSE(packet.empty());

    // No tunnel here, so every send is refused; what counts is that each
    // one reaches a live link object while the links come and go.
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0}, sent{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 3; ++t)
        senders.emplace_back([&] {
            static const unsigned char resume[8] = {13};
            while (!stop) {
                sent += transport.SendPackets({packet}) ? 1 : 0;
                sent += transport.WriteSharingAcceptedEnd(resume, sizeof resume) ? 1 : 0;
                ++calls;
            }
        });
    for (int meeting = 0; meeting < 60; ++meeting) {
        ASSERT_TRUE(transport.StartLocalListener()) << meeting;
        ASSERT_TRUE(transport.CreateLocalSockets(0)) << meeting;
        Sleep(meeting % 3);
        transport.CloseAndJoin();
    }
    stop = true;
    for (auto& s : senders)
        s.join();
    EXPECT_GT(calls.load(), 60);
    EXPECT_EQ(sent.load(), 0);
}

// Regression: the requests and the tunnel each defined their own
// AcceptedCertificate, with different members, and both were linked into the
// program. Seen together here they must be one type (two would not compile),
// and the user's acceptance reaches the tunnel unchanged.
TEST(LinkTransport, TheRequestsAndTheTunnelShareOneAcceptance)
{
    static_assert(std::is_same<decltype(CgiSession::acceptedCert), decltype(TunnelEndpoint::accepted)>::value,
                  "one acceptance type");
    const decltype(CgiSession::acceptedCert) fromRequests{"appliance.example", 8443, std::string(40, 'a')};
    TunnelEndpoint endpoint;
    endpoint.accepted = fromRequests;
    EXPECT_TRUE(endpoint.accepted.Accepts("appliance.example", 8443, std::string(40, 'A')));
    EXPECT_FALSE(endpoint.accepted.Accepts("appliance.example", 443, std::string(40, 'a')));
}
