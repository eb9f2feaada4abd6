#include "rfb/VSocket.h"

#include "core/base/DHLog.h"

#include <winsock2.h>

#include <atomic>
#include <climits>

namespace {

std::atomic<std::uint16_t> g_winsockVersion{0};

// Longest single wait, so an abort is seen soon.
constexpr unsigned kSliceMs = 100;

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

// Waits in slices rather than in one blocking call: a thread blocked in
// recv or send is not reliably woken from another thread without closing the
// socket (Wine), and the socket is the core's to close. The socket's time-out
// (0: none) bounds the whole wait.
int VSocket::waitReady(bool forWrite)
{
    const SOCKET s = static_cast<SOCKET>(m_socket);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (m_aborted.load())
            return WSAEINTR;
        unsigned slice = kSliceMs;
        if (m_timeoutMs) {
            const ULONGLONG waited = GetTickCount64() - start;
            if (waited >= m_timeoutMs)
                return WSAETIMEDOUT;
            if (m_timeoutMs - waited < slice)
                slice = static_cast<unsigned>(m_timeoutMs - waited);
        }
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval tv{0, static_cast<long>(slice * 1000)};
        const int rc = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &tv);
        if (rc > 0)
            return 0;
        if (rc == SOCKET_ERROR)
            return WSAGetLastError();
    }
}

long VSocket::receiveSome(std::uint8_t* buffer, size_t n)
{
    const SOCKET s = static_cast<SOCKET>(m_socket);
    const int len = n < INT_MAX ? static_cast<int>(n) : INT_MAX;
    for (;;) {
        // Readable: recv returns what has arrived without blocking.
        int error = waitReady(false);
        if (error == 0) {
            const int got = recv(s, reinterpret_cast<char*>(buffer), len, 0);
            if (got > 0)
                return got;
            if (got == 0) {
                DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGERROR, false, "zero bytes read2\n");
                return 0;
            }
            error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK)
                continue;
        }
        DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGERROR, false, "socket error 2: %d\n", error);
        return -1;
    }
}

// Sends at most one send block per call once the socket is writable, so
// no send sits blocked where an abort cannot reach it.
bool VSocket::sendAll(const std::uint8_t* data, size_t n)
{
    const SOCKET s = static_cast<SOCKET>(m_socket);
    while (n > 0) {
        int error = waitReady(true);
        if (error == 0) {
            const int len = static_cast<int>(n < kSendBlock ? n : kSendBlock);
            const int sent = send(s, reinterpret_cast<const char*>(data), len, 0);
            if (sent > 0) {
                data += sent;
                n -= static_cast<size_t>(sent);
                continue;
            }
            error = sent == SOCKET_ERROR ? WSAGetLastError() : 0;
            if (error == WSAEWOULDBLOCK)
                continue;
        }
        DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGERROR, false, "socket send failed: %d\n", error);
        return false;
    }
    return true;
}
