#pragma once
// The loopback channels between the meeting features and the relay: a
// listener on 127.0.0.1:8932 (held exclusively; another free port when that
// one is taken), and for each channel a client end that the feature uses and
// an accepted end that the relay uses. Each accepted connection is paired
// with its client end by port number right after the connect; any other
// connection to the listener is closed at once.
#include "core/tunnel/SocketHandle_win.h"
#include "core/tunnel/TunnelFrame.h"

#include <array>
#include <cstdint>
#include <mutex>

class LocalChannels {
public:
    static constexpr uint16_t kPreferredPort = 8932;

    LocalChannels();
    ~LocalChannels();
    LocalChannels(const LocalChannels&) = delete;
    LocalChannels& operator=(const LocalChannels&) = delete;

    // 1 on success, 0 when no listener could be made.
    int StartListener(uint16_t preferredPort = kPreferredPort);
    uint16_t Port() const { return m_port; }
    // Mode 0: chat, canvas, file share, audio, control; mode 1: sharing.
    // Other modes do nothing. 1 on success, 0 on failure (made ends stay).
    int CreateChannels(int mode);
    SOCKET ClientEnd(LocalChannel c) const;
    SOCKET AcceptedEnd(LocalChannel c) const;
    // Takes the accepted end out (the relay owns it from then on).
    SocketHandle TakeAcceptedEnd(LocalChannel c);
    // shutdown() of both ends wakes every thread blocked on them; the handles
    // stay valid until Close, which comes after those threads are joined.
    void ShutdownChannel(LocalChannel c);
    void ShutdownAll();
    void CloseChannel(LocalChannel c);
    void Close();

private:
    bool CreateOne(LocalChannel c);

    WinsockUser m_winsock;
    SocketHandle m_listener;
    uint16_t m_port = 0;
    mutable std::mutex m_lock;
    std::array<SocketHandle, kLocalChannelCount> m_client;
    std::array<SocketHandle, kLocalChannelCount> m_accepted;
};
