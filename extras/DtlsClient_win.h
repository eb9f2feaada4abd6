#pragma once
// The voice's DTLS session to the appliance (UDP port 4433), on a thread of
// its own. The handshake runs on a non-blocking socket so the stop flag and
// a time limit end it; the appliance's certificate is checked as the
// tunnel's is (its chain for the host through the Windows store, or the
// certificate the user accepted for that host). A listener reads records,
// hands them to its owner and acknowledges every read attempt with 0x7F; a
// speaker's records are written by the capture thread. Every SSL call is
// made under one lock. One object runs one session: a new session is a new
// object.
#include "core/base/AcceptedCertificate.h"
#include "core/base/BoundedThread.h"
#include "core/base/CHeap.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

class DtlsOwner {
public:
    enum class Failure {
        NoAddress,    // the host did not resolve
        NoSocket,     // no datagram socket could be made
        Handshake,    // no session within the limit, or the peer refused
        Certificate,  // the appliance's certificate was refused
    };
    // DTLS thread: one record the appliance sent.
    virtual void OnDtlsPayload(const uint8_t* data, size_t length) = 0;
    // DTLS thread: the session could not be made; the thread ends.
    virtual void OnDtlsFailed(Failure why) = 0;
    // DTLS thread: the appliance ended the session, or it broke, while not
    // asked to stop.
    virtual void OnDtlsEnded() = 0;

protected:
    ~DtlsOwner() = default;
};

struct DtlsSettings {
    std::string host;
    uint16_t port = 4433;
    bool listener = true;
    std::vector<uint8_t> hello;
    AcceptedCertificate accepted;
    unsigned handshakeMs = 5000;
};

class DtlsClient : public CHeap {
public:
    explicit DtlsClient(DtlsOwner& owner);
    // Stops and joins the session.
    ~DtlsClient() override;
    DtlsClient(const DtlsClient&) = delete;
    DtlsClient& operator=(const DtlsClient&) = delete;

    static constexpr unsigned kJoinMs = 3000;

    // False when a session was already started on this object.
    bool Start(const DtlsSettings& settings);
    // Sets the stop flag only: what the session's own thread may ask.
    void RequestStop() { m_stop = true; }
    // Stop flag, then the join (not from the session's own thread).
    bool Stop();
    bool Connected() const { return m_connected.load(); }
    // Its thread has ended (or never ran).
    bool Ended() const { return !m_thread.Running(); }
    bool OnSessionThread() const;
    // One record (a speaker's piece); false when not connected or not sent.
    bool Send(const uint8_t* data, size_t length);
    // Records written and read, for the log and tests.
    uint64_t RecordsSent() const { return m_sent.load(); }

private:
    void Run(DtlsSettings settings);
    bool Handshake(uintptr_t socket, unsigned limitMs);
    bool PeerCertificateTrusted(const DtlsSettings& settings);
    bool Write(const uint8_t* data, size_t length);
    void Listen(uintptr_t socket, bool& gaveUp);
    void Release();

    DtlsOwner& m_owner;
    std::mutex m_sslLock;
    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    std::atomic<bool> m_stop{true};
    std::atomic<bool> m_connected{false};
    std::atomic<uint32_t> m_threadId{0};
    std::atomic<uint64_t> m_sent{0};
    bool m_started = false;
    BoundedThread m_thread;
};
