// The lines the requests write, as they reach the program's log file.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <new>

#include "appliance/https/CgiLog_win.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/https/ProxySettings_win.h"
#include "appliance/cgi/SessionRequests.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "appliance/https/tests/Peers_win.h"
#include "appliance/https/tests/TestLog_win.h"

namespace {

// A loopback port nothing listens on.
uint16_t ClosedPort() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    WSACleanup();
    return ntohs(a.sin_port);
}

struct LoggedSession {
    WinHttpTransport transport;
    CgiSession s{transport};
    explicit LoggedSession(const std::string& prefix) {
        s.log.write = DHLogWriter();
        s.log.eventPrefix = [prefix] { return prefix; };
        s.applianceHost = "localhost";
        s.appliancePort = TestPeers().Port("appliance_port");
    }
};

class ThrowingTransport : public ICgiTransport {
public:
    CgiReply Exchange(const CgiRequest&, const CgiSession&) override { throw std::bad_alloc(); }
};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

// Logged at INFO in category 0x08 with the event prefix, whether the
// appliance answered or could not be reached; the name stays UTF-8.
TEST(RequestLog, LogoutLineWithTheEventPrefix) {
    TestLogFile file;
    LoggedSession a("Host(Coordinator)\tJ\xc3\xbcrgen\t");
    EXPECT_EQ(CgiUserLogout(a.s), CGI_OK);
    a.s.applianceHost = "127.0.0.1";
    a.s.appliancePort = ClosedPort();
    EXPECT_EQ(CgiUserLogout(a.s), CGI_OK);
    const std::vector<std::string> expected(2, "INFO\tHost(Coordinator)\tJ\xc3\xbcrgen\tLogout.");
    EXPECT_EQ(file.Lines(), expected);

    // The category is honoured: with 0x08 masked out nothing is written.
    DHLog::Instance().SetMask(0xFF & ~0x08);
    EXPECT_EQ(CgiUserLogout(a.s), CGI_OK);
    EXPECT_EQ(file.Lines().size(), 2u);
}

// Forced: written even when the threshold lets no warning through.
TEST(RequestLog, CertificateCheckExceptionIsForced) {
    TestLogFile file;
    ThrowingTransport throwing;
    CgiSession s{throwing};
    s.log.write = DHLogWriter();
    DHLog::Instance().SetThreshold(1);
    EXPECT_EQ(CgiCheckServerCert(s), CGI_OK);
    EXPECT_EQ(file.Lines(), std::vector<std::string>{"WARN\tCheck Server Certificate exception."});
}

// The host as the caller gave it, then the system's text for the error.
TEST(RequestLog, UnresolvableApplianceHost) {
    TestLogFile file;
    for (std::string host : {"no-such-host.invalid", "no%252Dsuch%2Dhost.invalid"}) {
        const std::string given = host;
        std::string address = "unchanged";
        int family = 7;
        EXPECT_EQ(ResolveApplianceHost(host, 443, address, family), 0);
        EXPECT_EQ(host, given);
        EXPECT_EQ(address, "unchanged");
        EXPECT_EQ(family, 7);
    }
    const std::vector<std::string> lines = file.Lines();
    ASSERT_EQ(lines.size(), 2u);
    const char* heads[] = {"ERROR\tno-such-host.invalid <", "ERROR\tno%252Dsuch%2Dhost.invalid <"};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(lines[i].rfind(heads[i], 0), 0u) << lines[i];
        EXPECT_TRUE(EndsWith(lines[i], ">")) << lines[i];
        EXPECT_GT(lines[i].size(), std::string(heads[i]).size() + 1) << lines[i];
    }
}

// A participant list that never arrived keeps the previous one, and the log
// says why.
TEST(RequestLog, ParticipantListFailure) {
    TestLogFile file;
    LoggedSession a("\tAnn\t");
    ParticipantUpdate update;
    a.s.applianceHost = "127.0.0.1";
    a.s.appliancePort = ClosedPort();
    EXPECT_EQ(CgiGetParticipants(a.s, 2, update), CGI_NO_RESPONSE);
    const std::vector<std::string> lines = file.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("WARN\t\tAnn\tParticipant list not received (error 120", 0), 0u) << lines[0];
    EXPECT_TRUE(EndsWith(lines[0], "); the previous list is kept.")) << lines[0];
}
