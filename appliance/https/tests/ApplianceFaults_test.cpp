// The local appliance's fault switches against the requests over WinHTTP:
// compressed, chunked, cut and slow replies, a session that expires while a
// meeting's list is being read, and a connection that fails before the
// request went out.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/cgi/SessionRequests.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "appliance/https/tests/Peers_win.h"
#include "core/base/StoredSecret.h"

namespace {

struct LoggedIn {
    WinHttpTransport transport;
    CgiSession s{transport};
    explicit LoggedIn(uint16_t port = TestPeers().Port("appliance_port")) {
        s.applianceHost = "localhost";
        s.appliancePort = port;
    }
    void LogIn() {
        s.displayName = L"alice";
        std::string password = "secret";
        ASSERT_EQ(EncryptStoredString(&password[0], s.password), 1);
        ASSERT_EQ(CgiUserLogin(s), CGI_OK);
        s.meetingId = "100001";
        std::string code = "code1";
        ASSERT_EQ(EncryptStoredString(&code[0], s.meetingPassword), 1);
        ASSERT_EQ(CgiJoinMeeting(s, false, nullptr), CGI_OK);
    }
};

size_t LogSize() { return ReadRequestLog(TestPeers()["request_log"]).size(); }

void Fault(const std::string& json) { ASSERT_TRUE(ControlPost("/__control/faults", json)); }

class ApplianceFaults : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ControlPost("/__control/faults/clear", "{}")); }
    void TearDown() override { ControlPost("/__control/faults/clear", "{}"); }
};

// Compressed and chunked replies read as the plain ones, in every
// combination, for a list and for the participant reply.
TEST_F(ApplianceFaults, CompressedAndChunkedRepliesReadAsPlainOnes) {
    LoggedIn a;
    a.LogIn();
    const char* const kSwitches[] = {R"("gzip": true)", R"("chunked": true)", R"("gzip": true, "chunked": true)"};
    for (const char* sw : kSwitches) {
        SCOPED_TRACE(sw);
        ASSERT_TRUE(ControlPost("/__control/faults/clear", "{}"));
        Fault(std::string(R"({"path": "/cgi-bin/meetingactive", )") + sw + "}");
        a.s.meetings.clear();
        EXPECT_EQ(CgiGetMeetingList(a.s, nullptr), CGI_OK);
        ASSERT_EQ(a.s.meetings.size(), 1u);
        EXPECT_EQ(a.s.meetings[0].meetingName, "Weekly sync");
        ParticipantUpdate update;
        EXPECT_EQ(CgiGetParticipants(a.s, 1, update), CGI_OK);
        EXPECT_EQ(update.meeting.meetingName.value_or(""), "Weekly sync");
        bool self = false;
        for (const Participant& p : update.participants) self |= p.sessionID == a.s.sessionId;
        EXPECT_TRUE(self);
    }
    // A compressed login reply: its headers are read as they are.
    ASSERT_TRUE(ControlPost("/__control/faults/clear", "{}"));
    Fault(R"({"path": "/cgi-bin/userLogin", "gzip": true, "count": 1})");
    EXPECT_EQ(CgiUserLogin(a.s), CGI_OK);
}

// A download cut before its announced length is not put in place, and no
// part of it is left behind.
TEST_F(ApplianceFaults, CutDownloadIsNeverPutInPlace) {
    LoggedIn a;
    a.LogIn();
    const std::string file = TestPeers()["work_dir"] + "\\cut-client.exe";
    ASSERT_EQ(CgiDownloadClientUpgrade(a.s, file), CGI_OK);
    const std::string whole = ReadWholeFile(file);
    ASSERT_FALSE(whole.empty());
    Fault(R"({"path": "/cgi-bin/meetingstart", "body": "MZ a newer installer that is cut", "truncate": 10, "count": 1})");
    EXPECT_EQ(CgiDownloadClientUpgrade(a.s, file), CGI_FAILED);
    EXPECT_EQ(ReadWholeFile(file), whole);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(file + ".part")));
}

// A reply slower than the request's time-out is a reply not received, and the
// request, which reached the appliance, is not sent again.
TEST_F(ApplianceFaults, SlowReplyMeetsTheTimeout) {
    LoggedIn a;
    a.LogIn();
    a.s.timeoutMs = 1000;
    Fault(R"({"path": "/cgi-bin/meetingactive", "delay": 6, "count": 1})");
    const size_t before = LogSize();
    const auto start = std::chrono::steady_clock::now();
    ParticipantUpdate update;
    EXPECT_EQ(CgiGetParticipants(a.s, 1, update), CGI_NO_RESPONSE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(update.participants.empty());
    // The appliance logs the request once its delayed reply is done.
    std::this_thread::sleep_for(std::chrono::seconds(6));
    EXPECT_EQ(LogSize(), before + 1);
    EXPECT_EQ(CgiGetParticipants(a.s, 1, update), CGI_OK);
}

// The session expires while the meeting's participant list is being read
// (the lobby's refresh): the list is emptied and the expiry reported.
TEST_F(ApplianceFaults, SessionExpiredInTheLobby) {
    LoggedIn a;
    a.LogIn();
    std::vector<Participant> list;
    ParticipantUpdate update;
    int32_t result = CgiGetParticipants(a.s, 2, update);
    ASSERT_EQ(result, CGI_OK);
    ApplyParticipantResult(result, std::move(update), list);
    ASSERT_FALSE(list.empty());
    Fault(R"({"path": "/cgi-bin/meetingactive", "expire_session": true, "count": 1})");
    update = ParticipantUpdate{};
    result = CgiGetParticipants(a.s, 2, update);
    EXPECT_EQ(result, CGI_SESSION_EXPIRED);
    EXPECT_TRUE(ApplyParticipantResult(result, std::move(update), list));
    EXPECT_TRUE(list.empty());
    // It stays expired for every later request.
    EXPECT_EQ(CgiSessionTest(a.s), CGI_FAILED);
    EXPECT_EQ(CgiGetMeetingList(a.s, nullptr), CGI_SESSION_EXPIRED);
}

// A TCP port in front of the appliance whose first connections are reset
// before a byte of them is read; the later ones are carried to the appliance.
class DropFirstConnections {
public:
    explicit DropFirstConnections(int drop) : m_drop(drop) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(m_listener, 4);
        int size = sizeof a;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &size);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~DropFirstConnections() {
        m_stop = true;
        closesocket(m_listener);
        m_thread.join();
        WSACleanup();
    }
    uint16_t Port() const { return m_port; }
    int Accepted() const { return m_accepted; }

private:
    void Run() {
        while (!m_stop) {
            SOCKET c = accept(m_listener, nullptr, nullptr);
            if (c == INVALID_SOCKET) return;
            if (m_accepted++ < m_drop) {
                linger l{1, 0};  // a reset, as a failing path would give
                setsockopt(c, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&l), sizeof l);
                closesocket(c);
                continue;
            }
            Carry(c);
        }
    }
    void Carry(SOCKET client) {
        SOCKET up = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(TestPeers().Port("appliance_port"));
        if (connect(up, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            char buf[16384];
            for (bool open = true; open && !m_stop;) {
                fd_set r;
                FD_ZERO(&r);
                FD_SET(client, &r);
                FD_SET(up, &r);
                timeval tv{0, 200000};
                if (select(0, &r, nullptr, nullptr, &tv) < 0) break;
                for (SOCKET from : {client, up}) {
                    if (!FD_ISSET(from, &r)) continue;
                    int n = recv(from, buf, sizeof buf, 0);
                    SOCKET to = from == client ? up : client;
                    if (n <= 0 || send(to, buf, n, 0) != n) open = false;
                }
            }
        }
        closesocket(up);
        closesocket(client);
    }

    const int m_drop;
    SOCKET m_listener = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

// A connection lost before any byte of the request was sent is tried once
// more, and only once.
TEST_F(ApplianceFaults, ConnectionLostBeforeSendingIsTriedOnceMore) {
    const struct { int drop; int32_t result; size_t reached; } cases[] = {
        {1, CGI_OK, 1},
        {100, CGI_SERVER_UNREACHABLE, 0},
    };
    for (const auto& c : cases) {
        DropFirstConnections front(c.drop);
        LoggedIn a(front.Port());
        const size_t before = LogSize();
        EXPECT_EQ(CgiQueryDomains(a.s), c.result) << c.drop;
        EXPECT_EQ(front.Accepted(), 2) << c.drop;
        EXPECT_EQ(LogSize(), before + c.reached) << c.drop;
    }
}

}  // namespace
