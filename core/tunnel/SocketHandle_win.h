#pragma once
// Owner of one Winsock socket, and the small blocking helpers the tunnel and
// the loopback channels share. Every wait has a deadline.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(SOCKET s) : m_s(s) {}
    ~SocketHandle() { Reset(); }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    SocketHandle(SocketHandle&& o) noexcept : m_s(o.Release()) {}
    SocketHandle& operator=(SocketHandle&& o) noexcept
    {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }

    SOCKET get() const { return m_s; }
    explicit operator bool() const { return m_s != INVALID_SOCKET; }
    SOCKET Release()
    {
        SOCKET s = m_s;
        m_s = INVALID_SOCKET;
        return s;
    }
    void Reset(SOCKET s = INVALID_SOCKET)
    {
        if (m_s != INVALID_SOCKET)
            closesocket(m_s);
        m_s = s;
    }

private:
    SOCKET m_s = INVALID_SOCKET;
};

// WSAStartup for as long as the object lives.
class WinsockUser {
public:
    WinsockUser() { m_ok = WSAStartup(MAKEWORD(2, 2), &m_data) == 0; }
    ~WinsockUser()
    {
        if (m_ok)
            WSACleanup();
    }
    WinsockUser(const WinsockUser&) = delete;
    WinsockUser& operator=(const WinsockUser&) = delete;
    bool Ok() const { return m_ok; }

private:
    WSADATA m_data{};
    bool m_ok = false;
};

// Milliseconds left until a GetTickCount64 deadline (0 when passed).
uint32_t MsUntil(uint64_t deadline);
// Connects with a time-out; the socket is blocking again afterwards.
bool ConnectWithin(SOCKET s, const sockaddr* addr, int addrLen, uint32_t ms);
// Waits until the socket is readable: 1 readable, 0 time-out, -1 error.
int WaitReadable(SOCKET s, uint32_t ms);
// Sends every byte or fails.
bool SendAll(SOCKET s, const void* data, size_t length);
bool SetNonBlocking(SOCKET s);
// For a non-blocking socket: sends every byte, waiting while the peer does
// not read, and fails once cancel is set. Under Wine a shutdown() of a socket
// with a send pending waits for that send, so a stalled peer could otherwise
// hold the sending thread (and whoever joins it) for ever. waited, when
// given, tells whether the socket was full at some point.
bool SendAllUnless(SOCKET s, const void* data, size_t length, const std::atomic<bool>& cancel,
                   bool* waited = nullptr);
// For a non-blocking socket: sends every byte within ms milliseconds, or
// fails; sent tells how many bytes went (a partial send is the caller's to
// judge).
bool SendAllWithin(SOCKET s, const void* data, size_t length, uint32_t ms, size_t* sent = nullptr);
