#pragma once
// The one HTTP transport of the appliance requests: one object per request,
// on the caller's stack, never shared between threads.
#include <cstdint>
#include <string>
#include <vector>

#include "appliance/cgi/CertificateRecords.h"
#include "appliance/cgi/ProxyConfig.h"
#include "appliance/https/WinHttpApi_win.h"

class CHttpsClient {
public:
    CHttpsClient();
    // With a given binding (null: WinHTTP missing), for tests.
    explicit CHttpsClient(const WinHttpApi* api);
    virtual ~CHttpsClient();
    CHttpsClient(const CHttpsClient&) = delete;
    CHttpsClient& operator=(const CHttpsClient&) = delete;

    void SetUserAgent();
    void SetServer(const std::string& host) { m_host = host; }
    void SetObjectPath(const std::string& path) { m_path = path; }
    void SetHttpVersion();
    void SetReferrer(const std::string& referrer) { m_referrer = referrer; }
    void SetProxy(const ProxyConfig& proxy) { m_proxy = proxy; }
    // Limit of connecting, sending and receiving each (60 s unless set).
    void SetTimeout(uint32_t ms) { m_timeoutMs = ms; }
    uint16_t port = 443;

    // When the acceptance covers this server and port, the server may present
    // the accepted certificate even though it does not verify; any other
    // certificate that does not verify is refused when the handshake is done.
    // Windows cancels the request there; Wine sends it all the same, with its
    // body wiped, and the reply is refused.
    void AcceptCertificate(const AcceptedCertificate& accepted) { m_accepted = accepted; }
    // Takes part in the handshake with any certificate, keeps the one the
    // server presented (QueryServerCertificate) and cancels the request (under
    // Wine it still goes out, so only requests without credentials probe).
    void ProbeCertificateOnly() { m_probeOnly = true; }
    // The user's personal certificate to present (SHA-1 thumbprint).
    void SetClientCertificate(const std::string& thumbprint) { m_clientCert = thumbprint; }

    int OpenRequest(const char* verb);
    int AddHeaders(const std::string& block);
    // headers: second header block or null. Tries again (up to 3 attempts in
    // all) only when nothing of the request was sent yet.
    int Send(const std::string* headers, const std::string& body);
    // The body's bytes; false when reading failed or the body exceeds limit.
    bool ReadResponse(std::string& body, size_t limit);
    std::string QueryRawHeaders();
    // The certificate the server presented on this request (also after it was
    // refused for not being the accepted one).
    bool QueryServerCertificate(ServerCertDetails& out);
    // Every personal certificate with a readable thumbprint (the user
    // chooses), searched as the desktop shell's user (this process's user
    // when no shell runs); false when the store cannot be opened.
    bool SelectClientCertificate(std::vector<ClientCertEntry>& list);
    void Close();

    const std::string& ErrorText() const { return m_errorText; }
    uint32_t ErrorCode() const { return m_errorCode; }
    uint32_t SecureFailureFlags() const { return m_secureFailureFlags; }
    // Some of the request may have reached the server.
    bool SendStarted() const { return m_sendStarted; }
    uint32_t RequestCount() const { return m_requestCount; }

private:
    int OpenRequestSteps(const char* verb);
    int AddHeadersSteps(const std::string& block);
    int SendSteps(const std::string* headers, const std::string& body);
    bool ReadResponseSteps(std::string& body, size_t limit);
    static void CALLBACK StatusCallback(HINTERNET h, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD length);
    void OnSendingRequest(HINTERNET request);
    void Fail(const char* text);

    const WinHttpApi* m_api;
    WinHttpHandle m_session, m_connect, m_request;
    ProxyConfig m_proxy;
    std::string m_host, m_path, m_agent, m_version, m_referrer;
    AcceptedCertificate m_accepted;
    std::string m_clientCert;
    std::string m_errorText;
    uint32_t m_errorCode = 0;
    uint32_t m_requestCount = 0;
    uint32_t m_timeoutMs = 60000;
    volatile LONG m_secureFailureFlags = 0;
    volatile bool m_sendStarted = false;
    volatile bool m_certRefused = false;
    bool m_probeOnly = false;
    bool m_havePresented = false;
    ServerCertDetails m_presented;  // the certificate seen before sending
    // The body being sent: our own copy, so that a refused certificate can
    // wipe it before Wine, which does not stop the send, writes it out.
    std::vector<char> m_sendBody;
};

// Attempts of one Send.
constexpr int kSendAttempts = 3;
