// The steps of a login's first step (what the worker thread runs) under Wine,
// against a transport that only records: a first attempt resolves the
// appliance and settles the proxy before it asks; a retry from the proxy page
// (mode 3) does neither and goes out with what it was given.
#include "appliance/cgi/CgiResult.h"
#include "appliance/ui/LoginWorker_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Answers every request with an empty 200 and keeps what each one was sent with.
class RecordingTransport : public ICgiTransport {
public:
    struct Sent {
        std::string path, host, proxyHost;
        uint32_t proxyDiscovered;
    };
    CgiReply Exchange(const CgiRequest& request, const CgiSession& session) override
    {
        sent.push_back({request.path, session.applianceHost, session.proxy.server.host, session.proxy.discovered});
        CgiReply reply;
        reply.status = CgiTransportStatus::Ok;
        reply.headers = "HTTP/1.1 200 OK\r\nserverversion: 8.0.0.6-1sv\r\n";
        reply.body = "domain=LocalDB;authType=1\r\n";
        return reply;
    }
    std::vector<Sent> sent;
};

// A job for host (or address) whose own proxy and the configuration
// discovery starts from differ: the proxy the request carries tells which
// one it went with. The configuration bypasses the loopback address.
std::unique_ptr<WorkerJob> Job(int mode, const std::string& host, RecordingTransport*& transport)
{
    auto owned = std::make_unique<RecordingTransport>();
    transport = owned.get();
    auto job = std::make_unique<WorkerJob>(std::move(owned));
    job->road = WorkerRoad::Connect;
    job->mode = mode;
    job->checkCertificate = false;
    job->session.applianceHost = host;
    job->session.appliancePort = 443;
    job->session.proxy.Enable = 1;
    job->session.proxy.server.host = "given-proxy.example";
    job->proxyType = PROXY_TYPE_SERVER;
    job->proxyConfig.Enable = 1;
    job->proxyConfig.server.host = "configured-proxy.example";
    job->proxyConfig.server.bypass = "127.0.0.1";
    return job;
}

TEST(LoginWorkerSteps, AFirstAttemptResolvesAndSettlesTheProxy)
{
    RecordingTransport* t = nullptr;
    auto job = Job(2, "127.0.0.1", t);
    WorkerResult r = RunWorkerJob(*job);
    EXPECT_EQ(r.result, CGI_OK);
    EXPECT_EQ(r.address, "127.0.0.1");
    ASSERT_EQ(t->sent.size(), 1u);
    EXPECT_EQ(t->sent[0].proxyHost, "configured-proxy.example");
    EXPECT_EQ(t->sent[0].proxyDiscovered, 1u) << "the appliance's address is on the bypass list";

    // A name that does not resolve never reaches the transport.
    job = Job(2, "no-such-host.invalid", t);
    r = RunWorkerJob(*job);
    EXPECT_EQ(r.result, CGI_SERVER_UNREACHABLE);
    EXPECT_TRUE(t->sent.empty());
}

TEST(LoginWorkerSteps, ARetryFromTheProxyPageNeitherResolvesNorDiscovers)
{
    RecordingTransport* t = nullptr;
    for (const char* host : {"127.0.0.1", "no-such-host.invalid"}) {
        SCOPED_TRACE(host);
        auto job = Job(3, host, t);
        WorkerResult r = RunWorkerJob(*job);
        EXPECT_EQ(r.result, CGI_OK);
        EXPECT_TRUE(r.address.empty()) << "no new address";
        ASSERT_EQ(t->sent.size(), 1u);
        EXPECT_EQ(t->sent[0].host, host);
        EXPECT_EQ(t->sent[0].path, "/cgi-bin/userLogin?callerRole=1&QueryDomain=true");
        EXPECT_EQ(t->sent[0].proxyHost, "given-proxy.example");
        EXPECT_EQ(t->sent[0].proxyDiscovered, 0u);
        ASSERT_TRUE(r.session);
        EXPECT_EQ(r.session->domains.size(), 1u);
    }
}

// A server whose TLS handshake fails as Wine fails a refused certificate; the
// certificate check (when asked) reads the certificate it presented, unless
// the server's certificate is one that verifies.
class RefusingTransport : public ICgiTransport {
public:
    explicit RefusingTransport(bool certificateVerifies) : m_verifies(certificateVerifies) {}
    CgiReply Exchange(const CgiRequest& request, const CgiSession&) override
    {
        paths.push_back(request.path);
        CgiReply reply;
        if (request.certificateCheck && m_verifies) {
            reply.status = CgiTransportStatus::Ok;
            reply.headers = "HTTP/1.1 200 OK\r\n";
            return reply;
        }
        reply.status = CgiTransportStatus::SendFailed;
        reply.error = request.certificateCheck ? kErrorSecureFailure : kErrorSecureChannel;
        reply.serverCertRead = request.certificateCheck;
        reply.serverCert.subject = "CN=localhost";
        return reply;
    }
    std::vector<std::string> paths;

private:
    bool m_verifies;
};

TEST(LoginWorkerSteps, ATrustedServerThatRefusesIsCheckedOnceSoTheAlertCanShow)
{
    struct Case {
        const char* name;
        WorkerRoad road;
        bool checkWhenRefused;
        bool verifies;
        int result;
        size_t requests;
    };
    const Case cases[] = {
        {"host road, another certificate", WorkerRoad::Connect, true, false, CGI_BAD_PASSWORD_OR_CERT, 2},
        {"join road, another certificate", WorkerRoad::Guest, true, false, CGI_BAD_PASSWORD_OR_CERT, 2},
        {"certificate verifies: the failure stands", WorkerRoad::Connect, true, true, CGI_SERVER_UNREACHABLE, 2},
        {"no trusted certificate: no second request", WorkerRoad::Connect, false, false, CGI_SERVER_UNREACHABLE, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto owned = std::make_unique<RefusingTransport>(c.verifies);
        RefusingTransport* t = owned.get();
        auto job = std::make_unique<WorkerJob>(std::move(owned));
        job->road = c.road;
        job->mode = 3;
        job->checkCertificate = false;
        job->checkWhenRefused = c.checkWhenRefused;
        job->session.applianceHost = "127.0.0.1";
        job->session.appliancePort = 443;
        WorkerResult r = RunWorkerJob(*job);
        const int expected = c.road == WorkerRoad::Guest && c.result == CGI_SERVER_UNREACHABLE ? CGI_NO_RESPONSE : c.result;
        EXPECT_EQ(r.result, expected);
        ASSERT_EQ(t->paths.size(), c.requests);
        if (c.requests == 2)
            EXPECT_EQ(t->paths[1], "/cgi-bin/welcome?standalone=true&checkcert=true");
        ASSERT_TRUE(r.session);
        EXPECT_EQ(r.session->serverCertKnown, c.result == CGI_BAD_PASSWORD_OR_CERT);
    }
}

} // namespace
