#include "appliance/https/CHttpsClient_win.h"

#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "appliance/https/CertificateInfo_win.h"
#include "appliance/cgi/CgiConventions.h"
#include "core/base/PlainSecret.h"
#include "core/base/DHLog.h"
#include "core/base/SecureZero.h"
#include "core/base/TextConvert.h"

namespace {

// TLS 1.0 to 1.3; SSL 3.0 stays off.
constexpr DWORD kSecureProtocols = 0x00000080 | 0x00000200 | 0x00000800 | 0x00002000;
constexpr DWORD kSecureProtocolsWithoutTls13 = 0x00000080 | 0x00000200 | 0x00000800;
// Unknown authority, wrong name, expired: the accepted certificate is checked
// by its thumbprint instead.
constexpr DWORD kIgnoreCertificateErrors =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
    SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;

std::wstring Wide(const std::string& text) { return AnsiToWide(text, kCodePageUtf8); }

// The negotiated TLS version (WINHTTP_OPTION_SECURITY_INFO, Windows 10 and
// later; its record begins with the connection's SecPkgContext_ConnectionInfo);
// "" where WinHTTP does not tell it, as under Wine.
std::string NegotiatedProtocol(const WinHttpApi* api, HINTERNET request) {
    constexpr DWORD kOptionSecurityInfo = 151;
    alignas(8) unsigned char info[1024] = {};
    DWORD size = sizeof info;
    if (!api->QueryOption(request, kOptionSecurityInfo, info, &size) || size < sizeof(SecPkgContext_ConnectionInfo))
        return std::string();
    SecPkgContext_ConnectionInfo connection;
    std::memcpy(&connection, info, sizeof connection);
    return ProtocolName(connection.dwProtocol);
}

// Failures worth another attempt with nothing of the request sent. A failed
// TLS handshake is one of them (a connection reset before the request fails
// that way under Wine) but gets a single second attempt, and none through a
// proxy: there the same error is also the proxy refusing the CONNECT, and
// asking again would only repeat the refused credentials.
bool Retryable(DWORD error, int attempt, bool viaProxy) {
    if (error == ERROR_WINHTTP_SECURE_CHANNEL_ERROR) return attempt == 0 && !viaProxy;
    return error != ERROR_WINHTTP_SECURE_FAILURE && error != ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED &&
           error != ERROR_WINHTTP_OPERATION_CANCELLED;
}

}  // namespace

CHttpsClient::CHttpsClient() : CHttpsClient(WinHttp()) {}

CHttpsClient::CHttpsClient(const WinHttpApi* api)
    : m_api(api), m_session(api), m_connect(api), m_request(api) {}

CHttpsClient::~CHttpsClient() { Close(); }

void CHttpsClient::SetUserAgent() { m_agent = kUserAgent; }

void CHttpsClient::SetHttpVersion() { m_version = kHttpVersion; }

void CHttpsClient::Fail(const char* text) {
    m_errorCode = GetLastError();
    m_errorText = text;
}

int CHttpsClient::OpenRequestSteps(const char* verb) {
    if (!m_api) {
        m_errorText = "Cannot load Winhttp lib";
        return 0;
    }
    Close();
    m_sendStarted = false;
    m_certRefused = false;
    m_havePresented = false;
    const std::wstring agent = Wide(m_agent);
    if (m_proxy.InUse()) {
        const std::wstring name = Wide(m_proxy.ProxyName());
        m_session.Reset(m_api->Open(agent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, name.c_str(),
                                    WINHTTP_NO_PROXY_BYPASS, 0));
    } else {
        m_session.Reset(m_api->Open(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0));
    }
    if (!m_session) {
        Fail("Cannot open internet");
        return 0;
    }
    DWORD protocols = kSecureProtocols;
    if (!m_api->SetOption(m_session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = kSecureProtocolsWithoutTls13;
        m_api->SetOption(m_session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
    }
    if (!m_api->SetTimeouts(m_session.get(), 0, m_timeoutMs, m_timeoutMs, m_timeoutMs)) {
        // A developer's hint only; the request goes on with WinHTTP's own limits.
        char text[64];
        std::snprintf(text, sizeof text, "WinHttpSetTimeouts failed! error = %lu.\n", GetLastError());
        OutputDebugStringA(text);
    }

    m_connect.Reset(m_api->Connect(m_session.get(), Wide(m_host).c_str(), port, 0));
    if (!m_connect) {
        Fail("Cannot connect to internet");
        Close();
        return 0;
    }
    static const wchar_t* kAcceptTypes[] = {
        L"image/gif", L"image/x-xbitmap", L"image/jpeg", L"image/pjpeg",
        L"application/x-shockwave-flash", L"application/vnd.ms-excel",
        L"application/vnd.ms-powerpoint", L"application/msword", L"*/*", nullptr};
    const std::wstring wverb = Wide(verb), path = Wide(m_path), version = Wide(m_version);
    m_request.Reset(m_api->OpenRequest(m_connect.get(), wverb.c_str(), path.c_str(), version.c_str(),
                                       WINHTTP_NO_REFERER, kAcceptTypes,
                                       WINHTTP_FLAG_SECURE | WINHTTP_FLAG_REFRESH));
    if (!m_request) {
        Fail("Cannot open http request");
        Close();
        return 0;
    }
    // The referrer as a header of its own: Wine drops the one given to
    // WinHttpOpenRequest.
    if (!m_referrer.empty()) {
        const std::wstring referrer = L"Referer: " + Wide(m_referrer) + L"\r\n";
        if (!m_api->AddRequestHeaders(m_request.get(), referrer.c_str(), static_cast<DWORD>(-1),
                                      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
            Fail("Cannot open http request");
            Close();
            return 0;
        }
    }
    // The wait for the reply's headers has a limit of its own, which Wine
    // leaves unbounded unless it is set.
    DWORD replyTimeout = m_timeoutMs;
    m_api->SetOption(m_request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &replyTimeout, sizeof replyTimeout);
    // One request per connection: a pooled connection could carry a later
    // request past the certificate decision made for an earlier one.
    DWORD noKeepAlive = WINHTTP_DISABLE_KEEP_ALIVE;
    m_api->SetOption(m_request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noKeepAlive, sizeof noKeepAlive);
    if (m_api->SetStatusCallback(m_request.get(), StatusCallback, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        Fail("Cannot set the status callback");
        Close();
        return 0;
    }
    if (m_accepted.Covers(m_host, port) || m_probeOnly) {
        DWORD flags = kIgnoreCertificateErrors;
        m_api->SetOption(m_request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
    if (!m_clientCert.empty()) {
        CertContext cert(FindUserCertificate(m_clientCert));
        if (!cert.get() || !m_api->SetOption(m_request.get(), WINHTTP_OPTION_CLIENT_CERT_CONTEXT,
                                             const_cast<CERT_CONTEXT*>(cert.get()), sizeof(CERT_CONTEXT))) {
            Fail("Cannot set the client certificate");
            Close();
            return 0;
        }
    }
    if (m_proxy.InUse()) {
        if (!m_proxy.server.user.empty()) {
            std::wstring user = Wide(m_proxy.server.user);
            if (!m_api->SetOption(m_request.get(), WINHTTP_OPTION_PROXY_USERNAME, &user[0],
                                  static_cast<DWORD>(user.size()))) {
                Fail("Cannot open http request set proxy user name");
                Close();
                return 0;
            }
        }
        PlainSecret password(m_proxy.server.password);
        if (!password.Text().empty()) {
            std::wstring wide = Wide(password.Text());
            BOOL ok = m_api->SetOption(m_request.get(), WINHTTP_OPTION_PROXY_PASSWORD, &wide[0],
                                       static_cast<DWORD>(wide.size()));
            SecureZero(&wide[0], wide.size() * sizeof(wchar_t));
            if (!ok) {
                Fail("Cannot open http request set proxy password");
                Close();
                return 0;
            }
        }
    }
    ++m_requestCount;
    return 1;
}

int CHttpsClient::AddHeadersSteps(const std::string& block) {
    if (!m_api) {
        m_errorText = "Cannot load Winhttp lib";
        return 0;
    }
    if (block.empty()) return 1;
    const std::wstring wide = Wide(block);
    if (!m_request || !m_api->AddRequestHeaders(m_request.get(), wide.c_str(), static_cast<DWORD>(-1),
                                                WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        Fail("Cannot add headers to http request");
        return 0;
    }
    return 1;
}

int CHttpsClient::SendSteps(const std::string* headers, const std::string& body) {
    if (!m_api) {
        m_errorText = "Cannot load Winhttp lib";
        return 0;
    }
    if (!m_request) {
        m_errorText = "Cannot perform http request";
        return 0;
    }
    const std::wstring wide = headers ? Wide(*headers) : std::wstring();
    const DWORD length = static_cast<DWORD>(body.size());
    struct WipeBody {
        std::vector<char>& b;
        ~WipeBody() {
            if (!b.empty()) SecureZero(b.data(), b.size());
            b.clear();
        }
    } wipe{m_sendBody};
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        m_sendStarted = false;
        m_sendBody.assign(body.begin(), body.end());
        BOOL ok = m_api->SendRequest(m_request.get(), headers ? wide.c_str() : WINHTTP_NO_ADDITIONAL_HEADERS,
                                     headers ? static_cast<DWORD>(-1) : 0,
                                     length ? m_sendBody.data() : WINHTTP_NO_REQUEST_DATA,
                                     length, length, reinterpret_cast<DWORD_PTR>(this));
        if (ok && !m_certRefused) ok = m_api->ReceiveResponse(m_request.get(), nullptr);
        if (ok && !m_certRefused) return 1;
        DWORD error = m_certRefused ? static_cast<DWORD>(ERROR_WINHTTP_SECURE_FAILURE) : GetLastError();
        if (error == ERROR_WINHTTP_SECURE_FAILURE) {
            m_errorText = "Cannot perform http request, certificate authentication failed";
        } else if (error == ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED) {
            m_errorText = "Cannot perform http request, client authentication needed";
        } else {
            m_errorText = "Cannot perform http request";
        }
        m_errorCode = error;
        // A request that may have reached the appliance is never repeated:
        // a login, a save or a password change must not happen twice.
        if (m_sendStarted || !Retryable(error, attempt, m_proxy.InUse())) return 0;
    }
    return 0;
}

// A failed allocation (a text conversion, a growing body) fails the step like
// any other error: nothing escapes to the request functions' threads.
int CHttpsClient::OpenRequest(const char* verb) {
    try {
        return OpenRequestSteps(verb);
    } catch (const std::exception&) {
        Fail("Memory Exception occured");
        Close();
        return 0;
    }
}

int CHttpsClient::AddHeaders(const std::string& block) {
    try {
        return AddHeadersSteps(block);
    } catch (const std::exception&) {
        Fail("Memory Exception occured");
        return 0;
    }
}

int CHttpsClient::Send(const std::string* headers, const std::string& body) {
    try {
        return SendSteps(headers, body);
    } catch (const std::exception&) {
        Fail("Memory Exception occured");
        return 0;
    }
}

bool CHttpsClient::ReadResponse(std::string& body, size_t limit) {
    try {
        return ReadResponseSteps(body, limit);
    } catch (const std::exception&) {
        body.clear();
        body.shrink_to_fit();
        Fail("Out of memory");
        return false;
    }
}

void CALLBACK CHttpsClient::StatusCallback(HINTERNET h, DWORD_PTR context, DWORD status, LPVOID info,
                                           DWORD length) {
    auto* self = reinterpret_cast<CHttpsClient*>(context);
    if (!self) return;
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
            if (info && length >= sizeof(DWORD))
                InterlockedOr(&self->m_secureFailureFlags, static_cast<LONG>(*static_cast<DWORD*>(info)));
            break;
        case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST:
            // Nothing may unwind through WinHTTP: a certificate that could not
            // be looked at is not accepted.
            try {
                self->OnSendingRequest(h);
            } catch (const std::exception&) {
                if (!self->m_sendBody.empty()) SecureZero(self->m_sendBody.data(), self->m_sendBody.size());
                self->m_certRefused = true;
                self->m_request.Reset();
            }
            break;
        default:
            break;
    }
}

void CHttpsClient::OnSendingRequest(HINTERNET request) {
    // The TLS handshake is done, nothing of the request is sent yet: the last
    // moment to refuse a certificate that is not the accepted one.
    if (m_accepted.Covers(m_host, port) || m_probeOnly) {
        PCCERT_CONTEXT raw = nullptr;
        DWORD size = sizeof raw;
        bool accept = false;
        if (m_api->QueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw, &size) && raw) {
            CertContext cert(raw);
            m_presented = DescribeCertificate(cert.get());
            m_presented.protocol = NegotiatedProtocol(m_api, request);
            m_havePresented = true;
            accept = !m_probeOnly && VerifyServerCertificate(cert.get(), m_host, port, m_accepted) !=
                                         CertificateVerdict::Refused;
            // What WinHTTP's secure-failure notice would have said (Wine
            // sends none); the accepted certificate is not a failure.
            if (!accept)
                InterlockedOr(&m_secureFailureFlags, static_cast<LONG>(CertificateFailureFlags(cert.get(), m_host)));
        }
        if (!accept) {
            // Windows cancels the request when its handle closes here; Wine
            // sends it all the same, so the body (a password) goes out wiped.
            if (!m_sendBody.empty()) SecureZero(m_sendBody.data(), m_sendBody.size());
            m_certRefused = true;
            m_request.Reset();
            return;
        }
    }
    m_sendStarted = true;
}

bool CHttpsClient::ReadResponseSteps(std::string& body, size_t limit) {
    body.clear();
    if (!m_api) {
        m_errorText = "Cannot load Winhttp lib";
        return false;
    }
    if (!m_request) return false;
    for (;;) {
        DWORD available = 0;
        if (!m_api->QueryDataAvailable(m_request.get(), &available)) {
            Fail("Error in m_pWinHttpQueryDataAvailable.");
            return false;
        }
        if (available == 0) return true;
        if (available > limit - body.size()) {
            m_errorText = "Reply too large";
            m_errorCode = ERROR_NOT_ENOUGH_MEMORY;
            return false;
        }
        size_t at = body.size();
        body.resize(at + available);
        DWORD read = 0;
        if (!m_api->ReadData(m_request.get(), &body[at], available, &read)) {
            body.resize(at);
            Fail("Error in m_pWinHttpReadData.");
            return false;
        }
        body.resize(at + read);
    }
}

std::string CHttpsClient::QueryRawHeaders() {
    if (!m_api || !m_request) return std::string();
    DWORD size = 2048;
    std::wstring buf;
    for (int i = 0; i < 4; ++i) {
        buf.assign(size / sizeof(wchar_t) + 1, L'\0');
        if (m_api->QueryHeaders(m_request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                &buf[0], &size, WINHTTP_NO_HEADER_INDEX)) {
            buf.resize(size / sizeof(wchar_t));
            return WideToAnsi(buf, kCodePageAnsi);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    }
    return std::string();
}

bool CHttpsClient::QueryServerCertificate(ServerCertDetails& out) {
    if (m_havePresented) {
        out = m_presented;
        return true;
    }
    if (!m_api || !m_request) return false;
    PCCERT_CONTEXT raw = nullptr;
    DWORD size = sizeof raw;
    if (!m_api->QueryOption(m_request.get(), WINHTTP_OPTION_SERVER_CERT_CONTEXT, &raw, &size) || !raw)
        return false;
    CertContext cert(raw);
    out = DescribeCertificate(cert.get());
    out.protocol = NegotiatedProtocol(m_api, m_request.get());
    return true;
}

bool CHttpsClient::SelectClientCertificate(std::vector<ClientCertEntry>& list) {
    // The personal store searched is the desktop user's, even when this
    // program runs under another identity; FindUserCertificate later opens
    // the same one.
    return ListUserCertificates(list);
}

void CHttpsClient::Close() {
    if (m_request && m_api)
        m_api->SetStatusCallback(m_request.get(), nullptr, WINHTTP_CALLBACK_FLAG_ALL_NOTIFICATIONS, 0);
    m_request.Reset();
    m_connect.Reset();
    m_session.Reset();
}
