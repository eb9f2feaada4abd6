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

} // namespace
