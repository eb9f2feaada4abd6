// The host's view of the sharing connection that the core hands it: read
// exactly n bytes and send exactly n bytes, in sends of at most 8192 bytes.
// The socket stays the core's: VSocket never connects, shuts down or closes
// it.
//
// Every send holds the socket's send lock, so the client thread and the
// update sender never interleave inside one message. A send that fails marks
// the socket failed for good (part of the message may already be on the
// wire), and every later send and read fails, so the session ends instead of
// sending a torn stream.
//
// Waits for the socket happen in short slices, so Abort() ends a read or a
// send that another thread is waiting in without shutting the socket down or
// closing it: the core may hand the same socket to the next session.
#pragma once

#include "rfb/SocketCalls.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

// Starts Winsock asking for version 2.0 and records the version obtained;
// *started tells whether the start succeeded (the caller ends that use again).
void InitWinsock(bool* started);
// The version word InitWinsock recorded (major version in the low byte), 0
// before it ran or when it failed.
std::uint16_t RecordedWinsockVersion();

class VSocket {
public:
    static constexpr size_t kSendBlock = 8192;
    static constexpr rdr::SocketHandle kNoSocket = ~rdr::SocketHandle(0);

    VSocket() = default;
    virtual ~VSocket() = default;
    VSocket(const VSocket&) = delete;
    VSocket& operator=(const VSocket&) = delete;

    void SetSocket(rdr::SocketHandle socket) { m_socket = socket; }
    rdr::SocketHandle GetSocket() const { return m_socket; }

    // Receive and send time-outs in milliseconds (0: none). Returns 0 when
    // Winsock is older than 2 or either setting fails.
    int SetTimeout(unsigned milliseconds);
    // Non-zero once all n bytes arrived (also for n = 0), 0 on failure.
    int ReadExact(void* buffer, size_t n);
    // Sends the n bytes as one message; returns n, or 0 on failure.
    size_t SendExact(const void* buffer, size_t n);

    // Every read and send, also one waiting in another thread, fails from now
    // on; the socket itself is left as it is.
    void Abort() { m_aborted.store(true); }

private:

    // Platform calls (VSocket_win.cpp).
    bool sendAll(const std::uint8_t* data, size_t n);
    // > 0 bytes received, 0 peer closed, -1 failed (logged).
    long receiveSome(std::uint8_t* buffer, size_t n);
    bool applyTimeouts(unsigned milliseconds);
    // 0 once the socket can be read (or written), else the error to report:
    // a failed wait, WSAETIMEDOUT after the time-out, WSAEINTR after Abort().
    int waitReady(bool forWrite);

    rdr::SocketHandle m_socket = kNoSocket;
    unsigned m_timeoutMs = 0;
    std::atomic<bool> m_failed{false};
    std::atomic<bool> m_aborted{false};
    std::mutex m_sendLock;
};
