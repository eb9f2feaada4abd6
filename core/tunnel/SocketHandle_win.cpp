#include "core/tunnel/SocketHandle_win.h"

#include <windows.h>

uint32_t MsUntil(uint64_t deadline)
{
    uint64_t now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<uint32_t>(deadline - now);
}

bool ConnectWithin(SOCKET s, const sockaddr* addr, int addrLen, uint32_t ms)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0)
        return false;
    bool ok = connect(s, addr, addrLen) == 0;
    if (!ok && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set w, e;
        FD_ZERO(&w);
        FD_ZERO(&e);
        FD_SET(s, &w);
        FD_SET(s, &e);
        timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
        ok = select(0, nullptr, &w, &e, &tv) == 1 && FD_ISSET(s, &w);
        int err = 0;
        int len = sizeof err;
        if (ok && getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0)
            ok = err == 0;
    }
    nonBlocking = 0;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0 && ok;
}

int WaitReadable(SOCKET s, uint32_t ms)
{
    fd_set r;
    FD_ZERO(&r);
    FD_SET(s, &r);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
    int n = select(0, &r, nullptr, nullptr, &tv);
    return n < 0 ? -1 : n;
}

bool SendAll(SOCKET s, const void* data, size_t length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        int chunk = length > 0x40000000 ? 0x40000000 : static_cast<int>(length);
        int n = send(s, p, chunk, 0);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool SetNonBlocking(SOCKET s)
{
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

bool SendAllUnless(SOCKET s, const void* data, size_t length, const std::atomic<bool>& cancel, bool* waited)
{
    if (waited)
        *waited = false;
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        int chunk = length > 0x40000000 ? 0x40000000 : static_cast<int>(length);
        int n = send(s, p, chunk, 0);
        if (n > 0) {
            p += n;
            length -= static_cast<size_t>(n);
            continue;
        }
        if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK || cancel)
            return false;
        if (waited)
            *waited = true;
        fd_set w;
        FD_ZERO(&w);
        FD_SET(s, &w);
        timeval tv{0, 200 * 1000};
        if (select(0, nullptr, &w, nullptr, &tv) < 0)
            return false;
    }
    return true;
}

bool SendAllWithin(SOCKET s, const void* data, size_t length, uint32_t ms, size_t* sent)
{
    const uint64_t deadline = GetTickCount64() + ms;
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    bool ok = true;
    while (done < length) {
        size_t left = length - done;
        int n = send(s, p + done, left > 0x40000000 ? 0x40000000 : static_cast<int>(left), 0);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        uint32_t wait = MsUntil(deadline);
        if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK || wait == 0) {
            ok = false;
            break;
        }
        fd_set w;
        FD_ZERO(&w);
        FD_SET(s, &w);
        timeval tv{static_cast<long>(wait / 1000), static_cast<long>(wait % 1000 * 1000)};
        if (select(0, nullptr, &w, nullptr, &tv) < 0) {
            ok = false;
            break;
        }
    }
    if (sent)
        *sent = done;
    return ok;
}
