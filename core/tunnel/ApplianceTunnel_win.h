#pragma once
// One TLS tunnel to the appliance: TCP (directly or through an HTTP proxy's
// CONNECT), Schannel TLS with the certificate checked, the service request
// naming the meeting service, then tunnel frames. Upstream, each send is one
// or more whole frames encrypted and sent under the tunnel's send lock, so
// frames from different threads never interleave; a record holds as many
// whole frames as fit, and the records of one call leave in one send (under
// Wine every socket call is a round trip to the wineserver). Downstream, the
// relay thread alone calls ReadAndRelay, which takes what the socket has in
// one large read and decrypts every whole record in it.
#include "core/tunnel/FrameReassembler.h"
#include "core/tunnel/SchannelSession_win.h"
#include "core/tunnel/SocketHandle_win.h"
#include "core/tunnel/TunnelFrame.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct TunnelProxy {
    std::string host;        // empty: no proxy
    uint16_t port = 0;
    std::string basicCredentials; // Base64 of "user:password"; empty: none
    bool http11 = false;
};

struct TunnelEndpoint {
    std::string host;        // also the certificate name
    uint16_t port = 443;
    std::string sessionId;
    bool isHost = false;     // role 1
    bool isCoordinator = false; // title 1
    TunnelProxy proxy;
    AcceptedCertificate accepted; // the user's acceptance, for host:port only
    uint32_t timeoutMs = 30000; // for connect, proxy reply and handshake together
};

class CApplianceTunnel {
public:
    enum ConnectResult {
        kConnected = 0,
        kNoSocket = -2,
        kConnectFailed = -3,
        kProxyFailed = -4,
        kNotResolved = -7,
    };
    enum class ReadResult { Continue, Closed, Failed, UnknownTag, LocalWriteFailed };

    explicit CApplianceTunnel(TunnelKind kind);
    ~CApplianceTunnel();
    CApplianceTunnel(const CApplianceTunnel&) = delete;
    CApplianceTunnel& operator=(const CApplianceTunnel&) = delete;

    // TCP to the appliance (through the proxy when one is set).
    int Connect(const TunnelEndpoint& endpoint);
    // TLS, certificate check and the service request; 1 on success.
    int Handshake();
    // A record the caller built whole (the control tunnel's hello); the
    // tunnel is closed when it does not go out.
    bool SendOrClose(const uint8_t* data, size_t length);
    // Whole frames back to back (as AppendTunnelFrames lays them out).
    // waited, when given, tells whether the send had to wait for the
    // appliance (the connection, not the program, is then the limit).
    bool SendFrames(const uint8_t* frames, size_t length, bool* waited = nullptr);
    // For a caller that must never wait (the relay): whole frames encrypted
    // and appended to records, which the caller sends with SendSome.
    bool EncryptFrames(const uint8_t* frames, size_t length, std::vector<uint8_t>& records);
    // Sends what the socket takes now: the byte count (0 when it is full),
    // -1 when the connection failed.
    int SendSome(const uint8_t* data, size_t length);
    // Plaintext the caller framed itself; sent as one unit.
    bool EncryptSend(const uint8_t* data, size_t length);
    // Reads what the socket has (it must be readable), decrypts it and hands
    // whole frames to the sink.
    ReadResult ReadAndRelay(FrameSink& sink);

    SOCKET Socket() const { return m_socket.get(); }
    TunnelKind Kind() const { return m_kind; }
    bool Connected() const { return m_connected.load(); }
    const std::string& LastError() const { return m_error; }
    // Close-notify (when TLS is up) and close; idempotent, any thread.
    void Close();

private:
    bool SendRawLocked(const uint8_t* data, size_t length, bool* waited = nullptr);
    int ConnectDirect(const addrinfo* target, uint64_t deadline);
    int ConnectViaProxy(uint64_t deadline);
    int Connected(SocketHandle s);
    void Fail(const std::string& why);

    TunnelKind m_kind;
    TunnelEndpoint m_endpoint;
    WinsockUser m_winsock;
    SocketHandle m_socket;
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_closing{false};
    uint64_t m_deadline = 0;
    SchannelSession m_tls;
    // Held for every use of the TLS context (encrypt, decrypt, close-notify)
    // and while SSPI sends on its own; timed, so Close never waits for ever
    // on a send that a stalled appliance blocks.
    std::recursive_timed_mutex m_sendLock;
    std::mutex m_closeLock;
    FrameReassembler m_frames;
    std::vector<uint8_t> m_records; // under m_sendLock
    std::vector<uint8_t> m_received; // relay thread only
    std::vector<uint8_t> m_plain;
    std::string m_error;
};
