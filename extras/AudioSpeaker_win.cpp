#include "extras/AudioSpeaker.h"

#include "core/base/DHLog.h"
#include "core/base/MeetingContext.h"
#include "core/control/ControlPacketReader.h"
#include "extras/DtlsSession.h"
#include "extras/VoiceContext.h"
#include "extras/VoiceResources.h"

#include <winsock2.h>

#include <cstring>

namespace {

// Type-30 packets of the audio channel go to the voice; every other packet
// is read whole and passed over.
class AudioPackets : public ControlPacketReader::Sink {
public:
    explicit AudioPackets(AudioSpeaker& speaker) : m_speaker(speaker) {}
    void OnPacket(const ReceivedPacket& packet) override
    {
        if (packet.type == PLP_AUDIO)
            m_speaker.OnAudioPayload(packet.data, packet.length);
    }

private:
    AudioSpeaker& m_speaker;
};

} // namespace

AudioSpeaker::AudioSpeaker(MeetingContext* meeting, VoiceContext* voice) : m_meeting(meeting), m_voice(voice)
{
    Init();
}

AudioSpeaker::~AudioSpeaker()
{
    StopReceive();
    ClosePlayback(true);
    m_notices.Close();
    Stop();
}

bool AudioSpeaker::StartVoice()
{
    if (!m_voice || !m_meeting)
        return false;
    std::unique_ptr<DtlsClient> ending;
    bool started = StartVoiceLocked(ending);
    EndSession(std::move(ending));
    return started;
}

bool AudioSpeaker::StartVoiceLocked(std::unique_ptr<DtlsClient>& ending)
{
    std::lock_guard<std::recursive_mutex> lock(m_voiceLock);
    if (m_speaking) {
        ending = CloseLocked(true);
        return true;
    }
    int setting = m_voice->TransportSetting();
    bool proxy = m_voice->ProxyInUse();
    if (setting == VoiceContext::kUdp && proxy) {
        m_notices.Show(IDS_VOICE_UDP_PROXY);
        return false;
    }
    // One speaker at a time, and a speaker plays nothing: a listener that
    // starts to speak ends its listening (and its DTLS session) first.
    ending = CloseLocked(true);
    uint8_t mode = setting == VoiceContext::kTcp || (setting == VoiceContext::kAuto && proxy) ? voice::kMarkerTcp
                                                                                                : voice::kMarkerUdp;
    m_playback.SetMode(mode);
    if (!Start()) {
        m_notices.Show(IDS_VOICE_DEVICE_PROBLEM);
        return false;
    }
    voice::SendVoice(*this, static_cast<uint8_t>(mode - 1), nullptr, 0);
    m_voice->SetVoiceActive(true);
    m_speaking = true;
    if (mode == voice::kMarkerUdp)
        StartSession(false);
    return true;
}

void AudioSpeaker::ClosePlayback(bool stopDtls)
{
    std::unique_ptr<DtlsClient> ending;
    {
        std::lock_guard<std::recursive_mutex> lock(m_voiceLock);
        ending = CloseLocked(stopDtls);
    }
    EndSession(std::move(ending));
}

std::unique_ptr<DtlsClient> AudioSpeaker::CloseLocked(bool stopDtls)
{
    if (m_voice)
        m_voice->SetVoiceActive(false);
    if (m_speaking.exchange(false)) {
        Stop();
        voice::SendVoice(*this, voice::kStopped, nullptr, 0);
    }
    m_playback.Close();
    if (!stopDtls)
        return nullptr;
    std::lock_guard<std::mutex> sessionLock(m_sessionLock);
    if (!m_session)
        return nullptr;
    // Told at once; joined by the caller once it holds no lock, as the
    // session's thread may be waiting for one of them to report.
    m_session->RequestStop();
    if (m_session->OnSessionThread())
        return nullptr;  // it ends when this call returns
    return std::move(m_session);
}

void AudioSpeaker::EndSession(std::unique_ptr<DtlsClient> ending)
{
    if (ending && !ending->Stop())
        DHLog::Instance().Print(0x80, 1, false, "Voice: the DTLS session did not end.\n");
}

void AudioSpeaker::StartSession(bool listener)
{
    if (!m_voice)
        return;
    std::lock_guard<std::mutex> lock(m_sessionLock);
    if (m_session) {
        // A listener's session that still runs serves on; a speaker's was
        // ended by ClosePlayback before it speaks.
        if (!m_session->Ended())
            return;
        m_session.reset();
    }
    DtlsSettings settings;
    settings.host = m_voice->ApplianceHost();
    settings.port = dtlsPort;
    settings.listener = listener;
    settings.hello = voice::BuildDtlsHello(listener, m_voice->OwnSessionId(), m_voice->HelloMeetingId());
    settings.accepted = m_voice->AcceptedAppliance();
    settings.handshakeMs = kUdpConnectMs;
    m_session.reset(new DtlsClient(*this));
    if (!m_session || !m_session->Start(settings)) {
        m_session.reset();
        m_notices.Show(IDS_VOICE_UDP_UNAVAILABLE);
    }
}

bool AudioSpeaker::DtlsConnected()
{
    std::lock_guard<std::mutex> lock(m_sessionLock);
    return m_session && m_session->Connected();
}

void AudioSpeaker::OnAudioData(const WAVEHDR& header)
{
    if (!m_speaking)
        return;
    voice::SendCapturedBuffer(*this, reinterpret_cast<const uint8_t*>(header.lpData), header.dwBytesRecorded);
}

void AudioSpeaker::OnCaptureError()
{
    m_notices.Show(IDS_VOICE_DEVICE_PROBLEM);
    ClosePlayback(true);
}

void AudioSpeaker::OnAudioPayload(const uint8_t* data, size_t length)
{
    m_playback.OnPayload(data, length);
}

// --- sending ---

bool AudioSpeaker::SendRecord(const uint8_t* record, size_t length)
{
    std::lock_guard<std::mutex> lock(m_sessionLock);
    // Until the session is up the pieces are dropped; a session that does
    // not come up in time moves the speaker to TCP or stops it.
    return m_session && m_session->Send(record, length);
}

bool AudioSpeaker::SendPacket(uint8_t type, const uint8_t* data, size_t length)
{
    return m_meeting && m_meeting->SendAudioMessage(type, data, length);
}

// --- the DTLS session's reports (its own thread) ---

void AudioSpeaker::OnDtlsPayload(const uint8_t* data, size_t length)
{
    OnAudioPayload(data, length);
}

void AudioSpeaker::FallBackToTcp()
{
    DHLog::Instance().Print(0x80, 2, false, "Voice: no DTLS session; the voice goes on by TCP.\n");
    m_playback.SetMode(voice::kMarkerTcp);
    voice::SendVoice(*this, voice::kStartedTcp, nullptr, 0);
}

void AudioSpeaker::OnDtlsFailed(Failure why)
{
    DHLog::Instance().Print(0x80, 2, false, "Voice: the DTLS session could not be made (%d).\n", static_cast<int>(why));
    std::lock_guard<std::recursive_mutex> lock(m_voiceLock);
    if (!FromCurrentSession())
        return;  // a session already replaced or ended: its report is stale
    if (!m_speaking) {
        m_notices.Show(IDS_VOICE_UDP_UNAVAILABLE);  // a listener hears only what comes by TCP
        return;
    }
    if (m_voice && m_voice->TransportSetting() == VoiceContext::kAuto) {
        FallBackToTcp();
        return;
    }
    m_notices.Show(IDS_VOICE_UDP_UNAVAILABLE);
    CloseLocked(true);
}

void AudioSpeaker::OnDtlsEnded()
{
    std::lock_guard<std::recursive_mutex> lock(m_voiceLock);
    if (!FromCurrentSession())
        return;
    if (m_speaking && m_voice && m_voice->TransportSetting() == VoiceContext::kAuto) {
        FallBackToTcp();
        return;
    }
    if (m_speaking)
        m_notices.Show(IDS_VOICE_UDP_UNAVAILABLE);
    CloseLocked(true);
}

bool AudioSpeaker::FromCurrentSession()
{
    std::lock_guard<std::mutex> lock(m_sessionLock);
    return m_session && m_session->OnSessionThread();
}

// --- receiving ---

void AudioSpeaker::StartReceive()
{
    if (!m_meeting || m_receive.Started())
        return;
    std::uintptr_t channel = m_meeting->FeatureChannelEnd(MeetingContext::FeatureChannel::Voice);
    if (static_cast<SOCKET>(channel) == INVALID_SOCKET)
        return;
    m_receiveStop = std::make_shared<std::atomic<bool>>(false);
    auto stop = m_receiveStop;
    m_receive.Start([this, channel, stop] { ReceiveLoop(channel, stop); });
}

void AudioSpeaker::StopReceive()
{
    m_receiveStop->store(true);
    if (!m_receive.Join(kJoinMs))
        DHLog::Instance().Print(0x80, 1, false, "Voice: the receive thread did not end.\n");
    ClosePlayback(true);
}

void AudioSpeaker::ReceiveLoop(uintptr_t channel, std::shared_ptr<std::atomic<bool>> stop)
{
    SOCKET s = static_cast<SOCKET>(channel);
    auto readable = [s](long microseconds) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(s, &r);
        timeval tv{microseconds / 1000000, microseconds % 1000000};
        return select(0, &r, nullptr, nullptr, &tv);
    };
    if (m_voice)
        m_voice->SetAudioReady(true);
    std::vector<char> buffer(64 * 1024);
    // What waits from before this meeting's voice began is not played.
    while (!stop->load() && readable(50) > 0) {
        int n = recv(s, buffer.data(), 8192, 0);
        if (n <= 0)
            break;
    }
    ControlPacketReader reader;
    AudioPackets sink(*this);
    while (!stop->load()) {
        // The Part's 2 s wait, cut short so a stop is seen at once.
        int ready = readable(200 * 1000);
        if (ready == 0)
            continue;
        int n = ready > 0 ? recv(s, buffer.data(), static_cast<int>(buffer.size()), 0) : -1;
        if (n < 0 && ready > 0 && WSAGetLastError() == WSAEWOULDBLOCK)
            continue;
        if (n <= 0)
            break;  // closed or shut down: the meeting is ending
        reader.Feed(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(n), sink);
    }
    if (m_voice)
        m_voice->SetAudioReady(false);
}

// --- the output device (under the playback state's lock) ---

bool AudioSpeaker::OpenOutput()
{
    const WAVEFORMATEX& format = Format();
    LoadDevicesOnce();
    if (waveOutOpen(&m_out, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        m_out = nullptr;
        return false;
    }
    for (size_t i = 0; i < m_outHeaders.size(); ++i) {
        m_outBuffers[i].assign(voice::kSecondBytes, 0);
        m_outHeaders[i] = {};
        m_outQueued[i] = false;
    }
    return true;
}

void AudioSpeaker::CloseOutput()
{
    if (!m_out)
        return;
    waveOutReset(m_out);
    for (size_t i = 0; i < m_outHeaders.size(); ++i) {
        if (m_outHeaders[i].dwFlags & WHDR_PREPARED)
            waveOutUnprepareHeader(m_out, &m_outHeaders[i], sizeof(WAVEHDR));
        m_outHeaders[i] = {};
        m_outQueued[i] = false;
    }
    waveOutClose(m_out);
    m_out = nullptr;
}

int AudioSpeaker::FreeOutputBuffer()
{
    for (size_t i = 0; i < m_outHeaders.size(); ++i)
        if (!m_outQueued[i] || (m_outHeaders[i].dwFlags & WHDR_DONE))
            return static_cast<int>(i);
    return -1;
}

bool AudioSpeaker::WriteOutput(int index, const uint8_t* data, size_t length)
{
    if (!m_out || index < 0 || index > 1 || length > voice::kSecondBytes)
        return false;
    WAVEHDR& header = m_outHeaders[static_cast<size_t>(index)];
    if (header.dwFlags & WHDR_PREPARED)
        waveOutUnprepareHeader(m_out, &header, sizeof(WAVEHDR));
    std::vector<char>& buffer = m_outBuffers[static_cast<size_t>(index)];
    std::memcpy(buffer.data(), data, length);
    header = {};
    header.lpData = buffer.data();
    header.dwBufferLength = static_cast<DWORD>(length);
    m_outQueued[static_cast<size_t>(index)] = false;
    if (waveOutPrepareHeader(m_out, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
        waveOutWrite(m_out, &header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
        return false;
    m_outQueued[static_cast<size_t>(index)] = true;
    ++m_piecesWritten;
    m_bytesWritten += length;
    return true;
}

// --- the meeting's state ---

bool AudioSpeaker::VoiceActive()
{
    // Without a meeting's voice nothing ever opens.
    return !m_voice || m_voice->VoiceActive();
}

void AudioSpeaker::SetVoiceActive(bool on)
{
    if (m_voice)
        m_voice->SetVoiceActive(on);
}

bool AudioSpeaker::ProxyInUse()
{
    return m_voice && m_voice->ProxyInUse();
}

void AudioSpeaker::ShowProxyWarning()
{
    m_notices.Show(IDS_VOICE_UDP_PROXY);
}

void AudioSpeaker::ShowDeviceProblem()
{
    m_notices.Show(IDS_VOICE_DEVICE_PROBLEM);
}

void AudioSpeaker::StartListenerSession()
{
    StartSession(true);
}

void AudioSpeaker::OnSpeakerStopped()
{
    // Another's stop (a late one, say) ends this client's listening only,
    // never its own speaking.
    std::unique_ptr<DtlsClient> ending;
    {
        std::lock_guard<std::recursive_mutex> lock(m_voiceLock);
        if (!m_speaking)
            ending = CloseLocked(true);
    }
    EndSession(std::move(ending));
}
