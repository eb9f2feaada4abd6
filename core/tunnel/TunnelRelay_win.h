#pragma once
// The one relay thread of a meeting: moves what the features write on their
// loopback channels into tunnel frames, and frames from the tunnels onto the
// channels their tags select. It owns the accepted channel ends.
//
// The relay never waits on one socket while the others wait behind it: every
// socket is non-blocking and every direction has a bounded queue.
// - Upstream, each tunnel has a queue of encrypted records; while it is over
//   its bound (the appliance reads slowly or not at all) the channels that
//   feed that tunnel are not read, so their writers feel it and nothing else.
// - Downstream, each channel has a queue. Voice drops whole packets when its
//   queue is full; the sharing tunnel is not read while the sharing queue is
//   full (it feeds nothing else); any other channel whose reader falls past
//   its bound is closed with a log line and the meeting goes on.
// A channel whose feature closed it, or the sharing tunnel when it fails, is
// dropped on its own; when the control tunnel ends the thread ends and
// reports it (not after a stop). Changes to the set wake the thread at once.
#include "core/base/BoundedThread.h"
#include "core/tunnel/ApplianceTunnel_win.h"
#include "core/tunnel/LocalChannels_win.h"
#include "core/tunnel/SocketHandle_win.h"
#include "core/tunnel/VoiceQueue.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class TunnelRelay {
public:
    using EndedCallback = std::function<void(const std::string& why)>;
    using ReadyCheck = std::function<bool()>;

    // Downstream bounds per channel, and the upstream bound per tunnel.
    static constexpr size_t kVoiceQueueBytes = 256 * 1024;
    static constexpr size_t kChannelQueueBytes = 4 * 1024 * 1024;
    static constexpr size_t kSharingQueueBytes = 1024 * 1024;
    static constexpr size_t kUpstreamQueueBytes = 512 * 1024;
    static constexpr unsigned kJoinMs = 3000;

    TunnelRelay();
    ~TunnelRelay();
    TunnelRelay(const TunnelRelay&) = delete;
    TunnelRelay& operator=(const TunnelRelay&) = delete;

    // Takes the accepted ends of the five meeting channels. onEnded runs on
    // the relay thread when the control tunnel ends or the relay fails (not
    // after a stop). audioReady, when given, is waited for (up to 3 s, once)
    // before the first voice bytes are written; meanwhile they queue.
    bool Start(CApplianceTunnel& control, LocalChannels& channels, EndedCallback onEnded,
               ReadyCheck audioReady = {});
    // The sharing tunnel and the sharing channel's accepted end.
    void AttachSharing(CApplianceTunnel& sharing, SocketHandle acceptedEnd);
    // Returns once the relay no longer touches the sharing tunnel, which the
    // caller may then delete.
    void DetachSharing();
    // Bytes for a channel's feature, as if they came down its tunnel; never
    // in the middle of a relayed frame, and never waiting for the reader.
    // False when the channel is not served or its queue has no room.
    bool WriteToChannel(LocalChannel c, const void* data, size_t length);
    // Asks the thread to end; returns at once. From here on no end is reported.
    void RequestStop();
    // RequestStop, a join of at most kJoinMs, then the channel ends closed.
    // False when the thread was left behind (logged).
    bool Stop();
    bool Running() const { return m_running.load(); }
    // Voice packets dropped because the voice reader fell behind.
    uint64_t VoiceDropped() const { return m_voiceDropped.load(); }

private:
    class Sink;
    struct Channel {
        SocketHandle end;
        std::vector<uint8_t> down; // bytes for the feature, from downAt on
        size_t downAt = 0;
        size_t Pending() const { return down.size() - downAt; }
    };
    struct Upstream {
        std::vector<uint8_t> records; // encrypted, from at on
        size_t at = 0;
        size_t Pending() const { return records.size() - at; }
        void Clear()
        {
            records.clear();
            at = 0;
        }
    };

    void Run();
    std::string Pass();
    bool ServeChannel(LocalChannel c);
    bool FlushUpstream(size_t which);
    void FlushChannel(LocalChannel c);
    bool VoiceHeld();
    void HoldVoiceOnce();
    void DropChannel(LocalChannel c, const char* why);
    void DropSharingLocked();
    void Wake();

    BoundedThread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    std::atomic<uint64_t> m_voiceDropped{0};
    SocketHandle m_wakeSocket;
    // Guards the set (ends, sharing tunnel) and the queues. The relay holds
    // it for a pass, in which nothing waits: every call is non-blocking.
    std::mutex m_lock;
    std::condition_variable m_passDone;
    uint64_t m_generation = 0;
    uint64_t m_passes = 0;
    CApplianceTunnel* m_control = nullptr;
    CApplianceTunnel* m_sharing = nullptr;
    std::array<Channel, kLocalChannelCount> m_channels;
    std::array<Upstream, 2> m_up; // control, sharing
    VoiceQueue m_voice{kVoiceQueueBytes};
    EndedCallback m_onEnded;
    ReadyCheck m_audioReady;
    uint64_t m_audioDeadline = 0; // 0: not waiting (yet or any more)
    bool m_audioWaited = false;
    std::vector<uint8_t> m_read;   // one read of a channel
    std::vector<uint8_t> m_frames; // that read as frames
};
