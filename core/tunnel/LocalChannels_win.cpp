#include "core/tunnel/LocalChannels_win.h"

#include <windows.h>

namespace {

constexpr uint32_t kPairTimeoutMs = 5000;

size_t Index(LocalChannel c)
{
    return static_cast<size_t>(c);
}

// Address and port of one end, as one number (0 when unknown).
uint64_t EndOf(SOCKET s, bool peer)
{
    sockaddr_in a{};
    int len = sizeof a;
    int rc = peer ? getpeername(s, reinterpret_cast<sockaddr*>(&a), &len)
                  : getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    if (rc != 0 || a.sin_family != AF_INET)
        return 0;
    return uint64_t(ntohl(a.sin_addr.s_addr)) << 16 | ntohs(a.sin_port);
}

void SetFlag(SOCKET s, int level, int name)
{
    BOOL on = TRUE;
    setsockopt(s, level, name, reinterpret_cast<const char*>(&on), sizeof on);
}

} // namespace

LocalChannels::LocalChannels() = default;

LocalChannels::~LocalChannels()
{
    Close();
}

int LocalChannels::StartListener(uint16_t preferredPort)
{
    if (!m_winsock.Ok())
        return 0;
    for (uint16_t port : {preferredPort, uint16_t(0)}) {
        SocketHandle s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        if (!s)
            return 0;
        // No other process may bind the same port and take the meeting traffic.
        SetFlag(s.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE);
        SetFlag(s.get(), IPPROTO_TCP, TCP_NODELAY);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        if (bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s.get(), SOMAXCONN) != 0)
            continue;
        m_port = static_cast<uint16_t>(EndOf(s.get(), false));
        m_listener = std::move(s);
        return 1;
    }
    return 0;
}

bool LocalChannels::CreateOne(LocalChannel c)
{
    SocketHandle client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!client)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(m_port);
    if (!ConnectWithin(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof a, kPairTimeoutMs))
        return false;
    SetFlag(client.get(), SOL_SOCKET, SO_KEEPALIVE);
    SetFlag(client.get(), IPPROTO_TCP, TCP_NODELAY);
    // Matched by address and port: a connection from another loopback
    // address (127.0.0.2, ...) with the same port is not ours.
    uint64_t want = EndOf(client.get(), false);
    if (want == 0)
        return false;
    uint64_t deadline = GetTickCount64() + kPairTimeoutMs;
    while (MsUntil(deadline) > 0) {
        if (WaitReadable(m_listener.get(), MsUntil(deadline)) != 1)
            break;
        SocketHandle accepted(accept(m_listener.get(), nullptr, nullptr));
        if (!accepted)
            break;
        // A connection from anyone else is closed (the handle's destructor).
        if (EndOf(accepted.get(), true) != want)
            continue;
        SetFlag(accepted.get(), IPPROTO_TCP, TCP_NODELAY);
        std::lock_guard<std::mutex> l(m_lock);
        m_client[Index(c)] = std::move(client);
        m_accepted[Index(c)] = std::move(accepted);
        return true;
    }
    return false;
}

int LocalChannels::CreateChannels(int mode)
{
    if (!m_listener)
        return 0;
    static const LocalChannel meeting[] = {LocalChannel::Chat, LocalChannel::Canvas, LocalChannel::FileShare,
                                           LocalChannel::Audio, LocalChannel::Control};
    if (mode == 0) {
        for (LocalChannel c : meeting)
            if (!CreateOne(c))
                return 0;
        return 1;
    }
    if (mode == 1)
        return CreateOne(LocalChannel::Sharing) ? 1 : 0;
    return 1;
}

SOCKET LocalChannels::ClientEnd(LocalChannel c) const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_client[Index(c)].get();
}

SOCKET LocalChannels::AcceptedEnd(LocalChannel c) const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_accepted[Index(c)].get();
}

SocketHandle LocalChannels::TakeAcceptedEnd(LocalChannel c)
{
    std::lock_guard<std::mutex> l(m_lock);
    return std::move(m_accepted[Index(c)]);
}

void LocalChannels::ShutdownChannel(LocalChannel c)
{
    std::lock_guard<std::mutex> l(m_lock);
    for (auto* ends : {&m_client, &m_accepted})
        if ((*ends)[Index(c)])
            shutdown((*ends)[Index(c)].get(), SD_BOTH);
}

void LocalChannels::ShutdownAll()
{
    for (size_t i = 0; i < kLocalChannelCount; ++i)
        ShutdownChannel(static_cast<LocalChannel>(i));
}

void LocalChannels::CloseChannel(LocalChannel c)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_client[Index(c)].Reset();
    m_accepted[Index(c)].Reset();
}

void LocalChannels::Close()
{
    ShutdownAll();
    std::lock_guard<std::mutex> l(m_lock);
    for (auto& s : m_client)
        s.Reset();
    for (auto& s : m_accepted)
        s.Reset();
    m_listener.Reset();
    m_port = 0;
}
