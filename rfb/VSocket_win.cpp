#include "rfb/VSocket.h"

#include "core/DHLog.h"

#include <winsock2.h>

#include <atomic>
#include <climits>

namespace {

std::atomic<std::uint16_t> g_winsockVersion{0};

// Waits until the socket can be read (or written) again after WSAEWOULDBLOCK,
// up to the socket's time-out (0: without limit). False when the wait fails
// or times out.
bool waitReady(SOCKET s, bool forWrite, unsigned timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    const int rc = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr,
                          timeoutMs ? &tv : nullptr);
    return rc > 0;
}

} // namespace

void InitWinsock(bool* started)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) == 0) {
        g_winsockVersion.store(data.wVersion);
        *started = true;
    } else {
        *started = false;
    }
}

std::uint16_t RecordedWinsockVersion()
{
    return g_winsockVersion.load();
}

bool VSocket::applyTimeouts(unsigned milliseconds)
{
    const DWORD value = milliseconds;
    const SOCKET s = static_cast<SOCKET>(m_socket);
    if (setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&value), sizeof value) == SOCKET_ERROR)
        return false;
    return setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&value), sizeof value) !=
           SOCKET_ERROR;
}

long VSocket::receiveSome(std::uint8_t* buffer, size_t n)
{
    const SOCKET s = static_cast<SOCKET>(m_socket);
    const int len = n < INT_MAX ? static_cast<int>(n) : INT_MAX;
    for (;;) {
        const int got = recv(s, reinterpret_cast<char*>(buffer), len, 0);
        if (got > 0)
            return got;
        if (got == 0) {
            DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGERROR, false, "zero bytes read2\n");
            return 0;
        }
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK && waitReady(s, false, m_timeoutMs))
            continue;
        DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGERROR, false, "socket error 2: %d\n", error);
        return -1;
    }
}

bool VSocket::sendAll(const std::uint8_t* data, size_t n)
{
    const SOCKET s = static_cast<SOCKET>(m_socket);
    while (n > 0) {
        const int len = n < INT_MAX ? static_cast<int>(n) : INT_MAX;
        const int sent = send(s, reinterpret_cast<const char*>(data), len, 0);
        if (sent > 0) {
            data += sent;
            n -= static_cast<size_t>(sent);
            continue;
        }
        if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK && waitReady(s, true, m_timeoutMs))
            continue;
        DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGERROR, false, "socket send failed: %d\n",
                                sent == SOCKET_ERROR ? WSAGetLastError() : 0);
        return false;
    }
    return true;
}
