// The host's view of the sharing connection that the core hands it: read
// exactly n bytes, send exactly n bytes, and queue small writes into 8192-byte
// sends. The socket stays the core's: VSocket never connects, shuts down or
// closes it.
//
// Every send takes the socket's send lock, so the client thread and the update
// sender never interleave inside one call; a message made of several calls is
// kept whole by holding LockForMessage() across them. A send that fails marks
// the socket failed for good: the queue is dropped (part of it may already be
// on the wire), and every later send and read fails, so the session ends
// instead of sending a torn stream.
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
    static constexpr size_t kQueueSize = 8192;
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
    // Sends the queue and then the n bytes; returns n, or 0 on failure.
    size_t SendExact(const void* buffer, size_t n);
    // Queues the n bytes, sending each full 8192-byte block; returns n or 0.
    size_t SendQueued(const void* buffer, size_t n);
    // Sends whatever is queued; false on failure.
    bool Flush();

    // Every read and send, also one waiting in another thread, fails from now
    // on; the socket itself is left as it is.
    void Abort() { m_aborted.store(true); }
    bool IsAborted() const { return m_aborted.load(); }

    bool IsFailed() const { return m_failed.load(); }
    size_t QueuedBytes() const { return m_queued; }
    std::unique_lock<std::recursive_mutex> LockForMessage() { return std::unique_lock<std::recursive_mutex>(m_sendLock); }

private:
    size_t queueAndSend(const std::uint8_t* data, size_t n);
    bool sendQueue();
    bool sendFailed();

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
    std::recursive_mutex m_sendLock;
    std::uint8_t m_queue[9000];
    size_t m_queued = 0;
};
