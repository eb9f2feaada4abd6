#include "extras/DtlsClient_win.h"

#include "core/base/CertificateVerifier_win.h"
#include "core/base/DHLog.h"
#include "extras/DtlsSession.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <chrono>
#include <cerrno>

namespace {

const char kCipherList[] = "ALL:!aNULL:!eNULL:!EXP:!MD5:!RC4:!SEED:!LOW@STRENGTH";
// Loaded when present; an appliance that does not ask for one never sees it.
const char kClientCertificate[] = "c:/certs/client-cert.pem";
const char kClientKey[] = "c:/certs/client-key.pem";

// Waits until the socket is readable; false when the limit passed first.
bool WaitReadable(SOCKET s, unsigned ms)
{
    fd_set r;
    FD_ZERO(&r);
    FD_SET(s, &r);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    return select(0, &r, nullptr, nullptr, &tv) > 0;
}

class SocketOwner {
public:
    explicit SocketOwner(SOCKET s) : m_s(s) {}
    ~SocketOwner()
    {
        if (m_s != INVALID_SOCKET)
            closesocket(m_s);
    }
    SocketOwner(const SocketOwner&) = delete;
    SocketOwner& operator=(const SocketOwner&) = delete;
    SOCKET get() const { return m_s; }

private:
    SOCKET m_s;
};

class AddressList {
public:
    AddressList(const std::string& host, uint16_t port)
    {
        addrinfo hints = {};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_protocol = IPPROTO_UDP;
        if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &m_list) != 0)
            m_list = nullptr;
    }
    ~AddressList()
    {
        if (m_list)
            freeaddrinfo(m_list);
    }
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    // The first IPv4 or IPv6 result.
    const addrinfo* First() const
    {
        for (const addrinfo* a = m_list; a; a = a->ai_next)
            if (a->ai_family == AF_INET || a->ai_family == AF_INET6)
                return a;
        return nullptr;
    }

private:
    addrinfo* m_list = nullptr;
};

} // namespace

DtlsClient::DtlsClient(DtlsOwner& owner) : m_owner(owner) {}

DtlsClient::~DtlsClient()
{
    Stop();
}

bool DtlsClient::Start(const DtlsSettings& settings)
{
    if (m_started)
        return false;
    m_started = true;
    m_stop = false;
    return m_thread.Start([this, settings] { Run(settings); });
}

bool DtlsClient::Stop()
{
    m_stop = true;
    if (OnSessionThread())
        return false;
    return m_thread.Join(kJoinMs);
}

bool DtlsClient::OnSessionThread() const
{
    return m_threadId.load() == GetCurrentThreadId();
}

bool DtlsClient::Send(const uint8_t* data, size_t length)
{
    if (!m_connected)
        return false;
    return Write(data, length);
}

bool DtlsClient::Write(const uint8_t* data, size_t length)
{
    std::lock_guard<std::mutex> lock(m_sslLock);
    if (!m_ssl)
        return false;
    // A non-blocking datagram write either goes whole or not at all.
    int n = SSL_write(m_ssl, data, static_cast<int>(length));
    if (n != static_cast<int>(length))
        return false;
    ++m_sent;
    return true;
}

bool DtlsClient::Handshake(uintptr_t socket, unsigned limitMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        int r;
        int error;
        {
            std::lock_guard<std::mutex> lock(m_sslLock);
            r = SSL_connect(m_ssl);
            error = r == 1 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, r);
        }
        if (r == 1)
            return true;
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            unsigned long e = ERR_get_error();
            char text[256] = {};
            ERR_error_string_n(e, text, sizeof(text));
            DHLog::Instance().Print(0x80, 2, false, "Voice: the DTLS handshake failed (%d, %s).\n", error, text);
            return false;
        }
        if (m_stop || std::chrono::steady_clock::now() > deadline)
            return false;
        WaitReadable(static_cast<SOCKET>(socket), 100);
        std::lock_guard<std::mutex> lock(m_sslLock);
        DTLSv1_handle_timeout(m_ssl);  // resends the last flight when its timer ran out
    }
}

bool DtlsClient::PeerCertificateTrusted(const DtlsSettings& settings)
{
    X509* peer;
    {
        std::lock_guard<std::mutex> lock(m_sslLock);
        peer = SSL_get1_peer_certificate(m_ssl);
    }
    if (!peer)
        return false;
    unsigned char* der = nullptr;
    int n = i2d_X509(peer, &der);
    X509_free(peer);
    if (n <= 0)
        return false;
    CertContext cert(CertCreateCertificateContext(X509_ASN_ENCODING, der, static_cast<DWORD>(n)));
    OPENSSL_free(der);
    if (!cert.get())
        return false;
    std::string why;
    CertificateVerdict verdict =
        VerifyServerCertificate(cert.get(), settings.host, settings.accepted.port, settings.accepted, &why);
    if (verdict == CertificateVerdict::Refused) {
        DHLog::Instance().Print(0x80, 2, false, "Voice: the appliance's DTLS certificate was refused (%s).\n",
                                why.c_str());
        return false;
    }
    return true;
}

void DtlsClient::Listen(uintptr_t socket, bool& gaveUp)
{
    std::vector<uint8_t> buffer(8192);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_sslLock);
            if (m_stop || (SSL_get_shutdown(m_ssl) & SSL_RECEIVED_SHUTDOWN))
                return;
        }
        int n;
        int error;
        {
            std::lock_guard<std::mutex> lock(m_sslLock);
            ERR_clear_error();
            errno = 0;
            n = SSL_read(m_ssl, buffer.data(), static_cast<int>(buffer.size()));
            error = n > 0 ? SSL_ERROR_NONE : SSL_get_error(m_ssl, n);
        }
        int sysError = errno;
        bool expired = false;
        if (error == SSL_ERROR_WANT_READ) {
            // The 1 s receive time-out of a blocking read, here a wait.
            expired = !WaitReadable(static_cast<SOCKET>(socket), 1000);
            std::lock_guard<std::mutex> lock(m_sslLock);
            DTLSv1_handle_timeout(m_ssl);
        }
        voice::ReadStep step = voice::ClassifySslError(error, sysError, expired);
        if (step == voice::ReadStep::GiveUp) {
            gaveUp = true;
            return;
        }
        if (n > 0)
            m_owner.OnDtlsPayload(buffer.data(), static_cast<size_t>(n));
        uint8_t ack = voice::kAcknowledge;
        Write(&ack, 1);
    }
}

void DtlsClient::Run(DtlsSettings settings)
{
    m_threadId = GetCurrentThreadId();
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        m_owner.OnDtlsFailed(DtlsOwner::Failure::NoSocket);
        return;
    }
    struct WsaCleanup {
        ~WsaCleanup() { WSACleanup(); }
    } wsaCleanup;

    AddressList addresses(settings.host, settings.port);
    const addrinfo* address = addresses.First();
    if (!address) {
        m_owner.OnDtlsFailed(DtlsOwner::Failure::NoAddress);
        return;
    }
    SocketOwner socket(::socket(address->ai_family, SOCK_DGRAM, IPPROTO_UDP));
    if (socket.get() == INVALID_SOCKET) {
        DHLog::Instance().Print(0x80, 1, false, "Voice: no datagram socket (%d).\n", WSAGetLastError());
        m_owner.OnDtlsFailed(DtlsOwner::Failure::NoSocket);
        return;
    }
    u_long nonBlocking = 1;
    ioctlsocket(socket.get(), FIONBIO, &nonBlocking);
    if (connect(socket.get(), address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
        m_owner.OnDtlsFailed(DtlsOwner::Failure::NoSocket);
        return;
    }

    {
        std::lock_guard<std::mutex> lock(m_sslLock);
        m_ctx = SSL_CTX_new(DTLS_client_method());
        if (m_ctx) {
            SSL_CTX_set_min_proto_version(m_ctx, DTLS1_VERSION);
            // A DTLS 1.0 appliance signs with MD5-SHA1, which any higher
            // level refuses; the certificate is checked below instead.
            SSL_CTX_set_security_level(m_ctx, 0);
            SSL_CTX_set_options(m_ctx, SSL_OP_NO_SSLv2 | SSL_OP_NO_SSLv3 | SSL_OP_SINGLE_DH_USE);
            SSL_CTX_set_cipher_list(m_ctx, kCipherList);
            if (GetFileAttributesA(kClientCertificate) != INVALID_FILE_ATTRIBUTES &&
                (SSL_CTX_use_certificate_file(m_ctx, kClientCertificate, SSL_FILETYPE_PEM) != 1 ||
                 SSL_CTX_use_PrivateKey_file(m_ctx, kClientKey, SSL_FILETYPE_PEM) != 1 ||
                 SSL_CTX_check_private_key(m_ctx) != 1))
                DHLog::Instance().Print(0x80, 2, false, "Voice: the client certificate could not be used.\n");
            SSL_CTX_set_verify(m_ctx, SSL_VERIFY_NONE, nullptr);
            SSL_CTX_set_read_ahead(m_ctx, 1);
            m_ssl = SSL_new(m_ctx);
        }
        BIO* bio = m_ssl ? BIO_new_dgram(static_cast<int>(socket.get()), BIO_NOCLOSE) : nullptr;
        if (bio) {
            BIO_ctrl(bio, BIO_CTRL_DGRAM_SET_CONNECTED, 0, const_cast<sockaddr*>(address->ai_addr));
            SSL_set_bio(m_ssl, bio, bio);
            SSL_set_tlsext_host_name(m_ssl, settings.host.c_str());
        }
        if (!bio) {
            Release();
            m_owner.OnDtlsFailed(DtlsOwner::Failure::Handshake);
            return;
        }
    }
    if (!Handshake(socket.get(), settings.handshakeMs)) {
        bool stopped = m_stop.load();
        Release();
        if (!stopped)
            m_owner.OnDtlsFailed(DtlsOwner::Failure::Handshake);
        return;
    }
    if (!PeerCertificateTrusted(settings)) {
        {
            std::lock_guard<std::mutex> lock(m_sslLock);
            SSL_shutdown(m_ssl);  // the peer learns at once that we left
        }
        Release();
        m_owner.OnDtlsFailed(DtlsOwner::Failure::Certificate);
        return;
    }
    bool gaveUp = !Write(settings.hello.data(), settings.hello.size());
    if (!gaveUp) {
        if (settings.listener) {
            Listen(socket.get(), gaveUp);
        } else {
            m_connected = true;
            while (!m_stop)
                Sleep(300);
        }
    }
    m_connected = false;
    if (!gaveUp) {
        uint8_t bye = voice::kGoodBye;
        Write(&bye, 1);
    }
    bool askedToStop = m_stop.load();
    {
        std::lock_guard<std::mutex> lock(m_sslLock);
        SSL_shutdown(m_ssl);
    }
    Release();
    if (!askedToStop)
        m_owner.OnDtlsEnded();
}

void DtlsClient::Release()
{
    std::lock_guard<std::mutex> lock(m_sslLock);
    if (m_ssl)
        SSL_free(m_ssl);
    m_ssl = nullptr;
    if (m_ctx)
        SSL_CTX_free(m_ctx);
    m_ctx = nullptr;
    m_connected = false;
    OPENSSL_thread_stop();
}
