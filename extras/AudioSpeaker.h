#pragma once
// The meeting's voice conversation. Speaking: the microphone is captured a
// second at a time and sent, over the appliance's DTLS service on UDP when
// it can be used, else as meeting packets (TCP). Listening: the receive
// thread reads the audio channel for the whole meeting, and the DTLS thread
// the UDP session, and both hand each message to one playback state that
// writes completed seconds to the waveform output. Problems are told to the
// user, never left as a silent conversation.
#include "core/base/BoundedThread.h"
#include "extras/AudioCapture_win.h"
#include "extras/DtlsClient_win.h"
#include "extras/VoiceNotices_win.h"
#include "extras/VoicePlayback.h"

#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class MeetingContext;
class VoiceContext;

class AudioSpeaker : public CAudioCapture,
                     private voice::PlaybackHost,
                     private voice::VoiceLinks,
                     private DtlsOwner {
public:
    // Without a voice context (a meeting that offers no voice) it only reads
    // and drops what the audio channel carries.
    explicit AudioSpeaker(MeetingContext* meeting, VoiceContext* voice = nullptr);
    // Stops speaking, listening and the receive thread.
    ~AudioSpeaker() override;
    AudioSpeaker(const AudioSpeaker&) = delete;
    AudioSpeaker& operator=(const AudioSpeaker&) = delete;

    // How long a speaker waits for its DTLS session before it goes on by
    // TCP (Auto) or stops (UDP chosen).
    static constexpr unsigned kUdpConnectMs = 5000;
    // The appliance's DTLS port; tests point it elsewhere.
    uint16_t dtlsPort = 4433;

    // The lobby's voice button (window thread): starts speaking, or stops
    // everything when already speaking. False when voice could not start.
    bool StartVoice();
    // Entering and leaving a meeting.
    void StartReceive();
    void StopReceive();
    // One received message (receive or DTLS thread).
    void OnAudioPayload(const uint8_t* data, size_t length);
    // Stops speaking (sending the stop message) and listening; with stopDtls
    // the DTLS session ends too (only its flag, asked from its own thread).
    void ClosePlayback(bool stopDtls);

    bool IsSpeaking() const { return m_speaking.load(); }
    bool PlayingNow() const { return m_playback.Playing(); }
    uint8_t Mode() const { return m_playback.Mode(); }
    VoiceNotices& Notices() { return m_notices; }
    uint64_t DroppedPieces() const { return m_playback.DroppedPieces(); }
    uint64_t PiecesWritten() const { return m_piecesWritten.load(); }
    uint64_t BytesWritten() const { return m_bytesWritten.load(); }
    bool DtlsConnected();

protected:
    void OnAudioData(const WAVEHDR& header) override;
    void OnCaptureError() override;

private:
    // voice::PlaybackHost
    bool OpenOutput() override;
    void CloseOutput() override;
    int FreeOutputBuffer() override;
    bool WriteOutput(int index, const uint8_t* data, size_t length) override;
    bool VoiceActive() override;
    void SetVoiceActive(bool on) override;
    bool Speaking() override { return m_speaking.load(); }
    bool ProxyInUse() override;
    void ShowProxyWarning() override;
    void ShowDeviceProblem() override;
    void StartListenerSession() override;
    void OnSpeakerStopped() override;
    // voice::VoiceLinks
    bool UdpMode() const override { return m_playback.UdpMode(); }
    bool SendRecord(const uint8_t* record, size_t length) override;
    bool SendPacket(uint8_t type, const uint8_t* data, size_t length) override;
    // DtlsOwner
    void OnDtlsPayload(const uint8_t* data, size_t length) override;
    void OnDtlsFailed(Failure why) override;
    void OnDtlsEnded() override;

    bool StartVoiceLocked(std::unique_ptr<DtlsClient>& ending);
    // ClosePlayback's work under m_voiceLock; returns the session the
    // caller joins after letting go of the lock.
    std::unique_ptr<DtlsClient> CloseLocked(bool stopDtls);
    static void EndSession(std::unique_ptr<DtlsClient> ending);
    // The report comes from the session in use, on its own thread.
    bool FromCurrentSession();
    void StartSession(bool listener);
    void FallBackToTcp();
    void ReceiveLoop(uintptr_t channel, std::shared_ptr<std::atomic<bool>> stop);

    MeetingContext* m_meeting;
    VoiceContext* m_voice;
    voice::VoicePlayback m_playback{*this};
    VoiceNotices m_notices;

    // The output device and its two one-second buffers.
    HWAVEOUT m_out = nullptr;
    std::array<WAVEHDR, 2> m_outHeaders{};
    std::array<std::vector<char>, 2> m_outBuffers;
    std::array<bool, 2> m_outQueued{};

    std::atomic<bool> m_speaking{false};
    // Serialises starting and stopping to speak (window, error-watch and
    // DTLS threads).
    std::recursive_mutex m_voiceLock;
    // The session in use; replaced, never restarted.
    std::mutex m_sessionLock;
    std::unique_ptr<DtlsClient> m_session;
    std::atomic<bool> m_sessionListener{false};
    std::atomic<ULONGLONG> m_speakStartedAt{0};
    std::atomic<uint64_t> m_piecesWritten{0};
    std::atomic<uint64_t> m_bytesWritten{0};

    BoundedThread m_receive;
    std::shared_ptr<std::atomic<bool>> m_receiveStop = std::make_shared<std::atomic<bool>>(true);
};
