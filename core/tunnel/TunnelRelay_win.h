#pragma once
// The one relay thread of a meeting: moves what the features write on their
// loopback channels into tunnel frames, and frames from the tunnels onto the
// channels their tags select. It owns the accepted channel ends. A channel
// whose feature closed it, or the sharing tunnel when it fails, is dropped on
// its own and relaying goes on; when the control tunnel ends the thread ends
// and reports it. Changes to the set (sharing attached or detached) wake the
// thread at once; Stop joins it.
#include "core/tunnel/ApplianceTunnel_win.h"
#include "core/tunnel/LocalChannels_win.h"
#include "core/tunnel/SocketHandle_win.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TunnelRelay {
public:
    using EndedCallback = std::function<void(const std::string& why)>;
    using ReadyCheck = std::function<bool()>;

    TunnelRelay();
    ~TunnelRelay();
    TunnelRelay(const TunnelRelay&) = delete;
    TunnelRelay& operator=(const TunnelRelay&) = delete;

    // Takes the accepted ends of the five meeting channels. onEnded runs on
    // the relay thread when the control tunnel ends (not after Stop).
    // audioReady, when given, is waited for (up to 3 s, once) before the
    // first voice frame is delivered.
    bool Start(CApplianceTunnel& control, LocalChannels& channels, EndedCallback onEnded,
               ReadyCheck audioReady = {});
    // The sharing tunnel and the sharing channel's accepted end.
    void AttachSharing(CApplianceTunnel& sharing, SocketHandle acceptedEnd);
    // Returns once the relay no longer touches the sharing tunnel, which the
    // caller may then delete.
    void DetachSharing();
    // Bytes for a channel's feature, as if they came down its tunnel; never
    // in the middle of a relayed frame. False when the channel is not served.
    bool WriteToChannel(LocalChannel c, const void* data, size_t length);
    void Stop();
    bool Running() const { return m_running.load(); }

private:
    class Sink;
    void Run();
    bool ServeChannel(LocalChannel c);
    void DropChannel(LocalChannel c);
    void DropSharingLocked();
    void Wake();

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    SocketHandle m_wakeSocket;
    std::mutex m_lock;
    std::condition_variable m_passDone;
    uint64_t m_generation = 0;
    uint64_t m_passes = 0;
    CApplianceTunnel* m_control = nullptr;
    CApplianceTunnel* m_sharing = nullptr;
    std::array<SocketHandle, kLocalChannelCount> m_ends;
    EndedCallback m_onEnded;
    ReadyCheck m_audioReady;
    bool m_audioWaited = false;
    std::vector<uint8_t> m_read;   // one read of a channel
    std::vector<uint8_t> m_frames; // that read as frames
    size_t m_batch[2] = {0, 0};    // bytes of the next read, control and sharing tunnel
};
