#include "core/tunnel/ApplianceTunnel_win.h"

#include "core/tunnel/ProxyConnect_win.h"
#include "core/tunnel/ServiceRequest.h"

#include <windows.h>

#include <chrono>

namespace {

// How long Close waits for another thread's use of the TLS context.
constexpr uint32_t kCloseWaitMs = 2000;
// One read of tunnel data: several full TLS records.
constexpr size_t kReceiveBytes = 256 * 1024;

struct AddrInfoOwner {
    addrinfo* list = nullptr;
    ~AddrInfoOwner()
    {
        if (list)
            freeaddrinfo(list);
    }
};

} // namespace

CApplianceTunnel::CApplianceTunnel(TunnelKind kind) : m_kind(kind) {}

CApplianceTunnel::~CApplianceTunnel()
{
    Close();
}

void CApplianceTunnel::Fail(const std::string& why)
{
    m_error = why;
    m_connected = false;
}

int CApplianceTunnel::Connect(const TunnelEndpoint& endpoint)
{
    m_endpoint = endpoint;
    m_deadline = GetTickCount64() + endpoint.timeoutMs;
    if (!m_winsock.Ok()) {
        Fail("Winsock unavailable");
        return kNoSocket;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    AddrInfoOwner target;
    std::string port = std::to_string(endpoint.port);
    int rc = getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &target.list);
    const addrinfo* chosen = nullptr;
    for (const addrinfo* a = rc == 0 ? target.list : nullptr; a && !chosen; a = a->ai_next)
        if (a->ai_family == AF_INET || a->ai_family == AF_INET6)
            chosen = a;
    if (!chosen) {
        if (rc != 0)
            WSASetLastError(rc);
        Fail("appliance name not resolved");
        return kNotResolved;
    }
    if (!endpoint.proxy.host.empty() && endpoint.proxy.port != 0) {
        int r = ConnectViaProxy(m_deadline);
        if (r != kConnectFailed)
            return r;
        // An unreachable proxy: the appliance is tried directly.
    }
    return ConnectDirect(chosen, m_deadline);
}

int CApplianceTunnel::ConnectDirect(const addrinfo* target, uint64_t deadline)
{
    SocketHandle s(socket(target->ai_family, SOCK_STREAM, IPPROTO_TCP));
    if (!s) {
        Fail("no socket");
        return kNoSocket;
    }
    BOOL on = TRUE;
    setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (!ConnectWithin(s.get(), target->ai_addr, static_cast<int>(target->ai_addrlen), MsUntil(deadline))) {
        Fail("connect to the appliance failed");
        return kConnectFailed;
    }
    return Connected(std::move(s));
}

int CApplianceTunnel::Connected(SocketHandle s)
{
    // Sends wait in steps, so Close can end one that a stalled peer holds.
    if (!SetNonBlocking(s.get())) {
        Fail("no socket");
        return kNoSocket;
    }
    m_socket = std::move(s);
    m_connected = true;
    return kConnected;
}

int CApplianceTunnel::ConnectViaProxy(uint64_t deadline)
{
    // The socket is made for the proxy's own address family.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    AddrInfoOwner proxy;
    std::string port = std::to_string(m_endpoint.proxy.port);
    if (getaddrinfo(m_endpoint.proxy.host.c_str(), port.c_str(), &hints, &proxy.list) != 0 || !proxy.list)
        return kConnectFailed;
    SocketHandle s(socket(proxy.list->ai_family, SOCK_STREAM, IPPROTO_TCP));
    if (!s)
        return kNoSocket;
    BOOL on = TRUE;
    setsockopt(s.get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (!ConnectWithin(s.get(), proxy.list->ai_addr, static_cast<int>(proxy.list->ai_addrlen), MsUntil(deadline)))
        return kConnectFailed;
    std::string targetText = FormatProxyTarget(m_endpoint.host, m_endpoint.port);
    ProxyConnectStatus st = ProxyConnect(s.get(), targetText, m_endpoint.proxy, deadline);
    if (st != ProxyConnectStatus::Ok) {
        Fail(st == ProxyConnectStatus::AuthRequired ? "proxy credentials refused (407)" : "proxy refused the CONNECT");
        return kProxyFailed;
    }
    return Connected(std::move(s));
}

bool CApplianceTunnel::SendRawLocked(const uint8_t* data, size_t length, bool* waited)
{
    if (!m_connected || !SendAllUnless(m_socket.get(), data, length, m_closing, waited)) {
        m_connected = false;
        return false;
    }
    return true;
}

int CApplianceTunnel::Handshake()
{
    if (!m_connected)
        return 0;
    if (!m_tls.Load()) {
        Fail("Schannel unavailable");
        return 0;
    }
    auto raw = [this](const uint8_t* d, size_t n) {
        std::lock_guard<std::recursive_timed_mutex> l(m_sendLock);
        return SendRawLocked(d, n);
    };
    if (!m_tls.Handshake(m_socket.get(), m_endpoint.host, m_deadline, raw)) {
        Fail("TLS handshake failed");
        Close();
        return 0;
    }
    std::string why;
    if (!m_tls.CertificateTrusted(m_endpoint.host, m_endpoint.port, m_endpoint.accepted, why)) {
        Fail("server certificate not trusted: " + why);
        Close();
        return 0;
    }
    // Sent once, after the first handshake only.
    std::string request = BuildServiceConnect(m_kind, m_endpoint.isHost, m_endpoint.isCoordinator,
                                              m_endpoint.sessionId);
    if (!EncryptSend(reinterpret_cast<const uint8_t*>(request.data()), request.size())) {
        Fail("service request not sent");
        Close();
        return 0;
    }
    return 1;
}

bool CApplianceTunnel::EncryptSend(const uint8_t* data, size_t length)
{
    std::lock_guard<std::recursive_timed_mutex> l(m_sendLock);
    m_records.clear();
    if (!m_connected || !m_tls.Encrypt(data, length, m_records)) {
        m_connected = false;
        return false;
    }
    return SendRawLocked(m_records.data(), m_records.size());
}

bool CApplianceTunnel::SendFrames(const uint8_t* frames, size_t length, bool* waited)
{
    std::lock_guard<std::recursive_timed_mutex> l(m_sendLock);
    m_records.clear();
    if (!m_connected)
        return false;
    for (size_t at = 0; at < length;) {
        size_t n = WholeFramesWithin(frames + at, length - at, m_tls.MaxRecordData());
        if (!m_tls.Encrypt(frames + at, n, m_records)) {
            m_connected = false;
            return false;
        }
        at += n;
    }
    return SendRawLocked(m_records.data(), m_records.size(), waited);
}

bool CApplianceTunnel::EncryptFrames(const uint8_t* frames, size_t length, std::vector<uint8_t>& records)
{
    std::lock_guard<std::recursive_timed_mutex> l(m_sendLock);
    if (!m_connected)
        return false;
    for (size_t at = 0; at < length;) {
        size_t n = WholeFramesWithin(frames + at, length - at, m_tls.MaxRecordData());
        if (!m_tls.Encrypt(frames + at, n, records)) {
            m_connected = false;
            return false;
        }
        at += n;
    }
    return true;
}

int CApplianceTunnel::SendSome(const uint8_t* data, size_t length)
{
    if (!m_connected || m_closing)
        return -1;
    int chunk = length > 0x40000000 ? 0x40000000 : static_cast<int>(length);
    int n = send(m_socket.get(), reinterpret_cast<const char*>(data), chunk, 0);
    if (n > 0)
        return n;
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return 0;
    m_connected = false;
    return -1;
}

bool CApplianceTunnel::SendOrClose(const uint8_t* data, size_t length)
{
    if (!EncryptSend(data, length)) {
        Close();
        return false;
    }
    return true;
}

CApplianceTunnel::ReadResult CApplianceTunnel::ReadAndRelay(FrameSink& sink)
{
    m_received.resize(kReceiveBytes);
    int n = recv(m_socket.get(), reinterpret_cast<char*>(m_received.data()), static_cast<int>(m_received.size()), 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return ReadResult::Continue;
    if (n <= 0) {
        m_connected = false;
        return n == 0 ? ReadResult::Closed : ReadResult::Failed;
    }
    m_plain.clear();
    SchannelSession::DecryptResult d;
    {
        // A renegotiation answers through the context, and Close may send
        // close-notify from another thread: one user of the context at a time.
        std::lock_guard<std::recursive_timed_mutex> l(m_sendLock);
        d = m_tls.Decrypt(m_received.data(), static_cast<size_t>(n), m_plain);
    }
    // Plaintext that came before a close or an error is still delivered.
    FrameReassembler::Result r = m_plain.empty() ? FrameReassembler::Result::Continue
                                                 : m_frames.Feed(m_plain.data(), m_plain.size(), sink);
    if (r == FrameReassembler::Result::UnknownTag)
        return ReadResult::UnknownTag;
    if (r == FrameReassembler::Result::SinkFailed)
        return ReadResult::LocalWriteFailed;
    if (d == SchannelSession::DecryptResult::Closed) {
        m_connected = false;
        return ReadResult::Closed;
    }
    if (d == SchannelSession::DecryptResult::Failed) {
        m_connected = false;
        return ReadResult::Failed;
    }
    return ReadResult::Continue;
}

void CApplianceTunnel::Close()
{
    // A send waiting for an appliance that stopped reading gives up now, so
    // the lock below comes free and the caller never waits without a bound;
    // the close-notify itself is sent only if the socket takes it at once.
    m_closing = true;
    std::lock_guard<std::mutex> c(m_closeLock);
    if (m_closed.exchange(true))
        return;
    {
        std::unique_lock<std::recursive_timed_mutex> l(m_sendLock, std::defer_lock);
        if (l.try_lock_for(std::chrono::milliseconds(kCloseWaitMs)) && m_connected && m_tls.Up())
            m_tls.Shutdown();
        m_connected = false;
    }
    // The handle itself stays until destruction, so a relay thread still
    // inside recv() sees an error rather than a reused handle.
    if (m_socket)
        shutdown(m_socket.get(), SD_BOTH);
}
