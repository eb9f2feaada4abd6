#pragma once
// What a listener does with received voice messages: the start and mode
// messages open the output, the pieces of each second are put together,
// and completed seconds are held back so the sound keeps flowing over the
// network's unevenness: the first two seconds are only buffered, then each
// second goes to the output once the next one is complete (so about two
// seconds behind at the start and one after). A second is written only to
// an output buffer that has finished playing; until one has, it waits in
// the reserve, which holds a bounded number of seconds. Everything here is
// under one lock: the TCP receive thread, the DTLS thread and the window
// thread all reach it.
#include "extras/VoiceSender.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace voice {

class PlaybackHost {
public:
    // The output device, its two buffers of one second each.
    virtual bool OpenOutput() = 0;
    // Reset (every buffer handed back), buffers released, device closed.
    virtual void CloseOutput() = 0;
    // Index (0 or 1) of a buffer that is not playing, or -1.
    virtual int FreeOutputBuffer() = 0;
    virtual bool WriteOutput(int index, const uint8_t* data, size_t length) = 0;
    // The meeting's voice-active flag (someone here speaks or listens).
    virtual bool VoiceActive() = 0;
    virtual void SetVoiceActive(bool on) = 0;
    // This client's own capture runs; its sending mode is its own.
    virtual bool Speaking() = 0;
    virtual bool ProxyInUse() = 0;
    // Told to the user without holding up the caller.
    virtual void ShowProxyWarning() = 0;
    virtual void ShowDeviceProblem() = 0;
    // UDP mode: the DTLS session as a listener.
    virtual void StartListenerSession() = 0;
    // A speaker stopped (type 1): the owner closes playback and the session.
    virtual void OnSpeakerStopped() = 0;

protected:
    ~PlaybackHost() = default;
};

class VoicePlayback {
public:
    explicit VoicePlayback(PlaybackHost& host) : m_host(host) {}

    // Completed seconds kept back while the output buffers are busy.
    static constexpr size_t kReserveSeconds = 2;

    // One received message (TCP or DTLS); anything malformed is dropped.
    void OnPayload(const uint8_t* p, size_t n);
    // Opens the output for a start or mode message of this type.
    void Open(uint8_t type);
    // Closes the output when open and forgets every held second.
    void Close();

    uint8_t Mode() const { return m_mode.load(); }
    void SetMode(uint8_t mode) { m_mode = mode; }
    bool UdpMode() const { return m_mode.load() == kMarkerUdp; }
    bool Playing() const { return m_playing.load(); }
    void ClearProxyWarning();

    // Statistics, for the log and tests.
    uint64_t DroppedPieces() const { return m_droppedPieces.load(); }
    uint64_t DroppedSeconds() const { return m_droppedSeconds.load(); }

private:
    void OnPiece(uint8_t type, const uint8_t* data, size_t n);
    void CompleteSecond();
    void WriteHeld(size_t keep);
    void OpenLocked(uint8_t type);
    void ResetLocked();

    PlaybackHost& m_host;
    std::mutex m_lock;
    std::atomic<uint8_t> m_mode{kMarkerUdp};
    std::atomic<bool> m_playing{false};
    bool m_proxyWarningShown = false;

    std::array<uint8_t, kSecondBytes> m_assembly{};
    size_t m_fill = 0;
    uint8_t m_nextType = kFirstPiece;
    bool m_prebuffer = true;
    size_t m_completed = 0;
    std::deque<std::vector<uint8_t>> m_held;

    std::atomic<uint64_t> m_droppedPieces{0};
    std::atomic<uint64_t> m_droppedSeconds{0};
};

} // namespace voice
