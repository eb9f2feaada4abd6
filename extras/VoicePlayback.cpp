#include "extras/VoicePlayback.h"

#include <cstring>

namespace voice {

void VoicePlayback::OnPayload(const uint8_t* p, size_t n)
{
    if (n == 0)
        return;
    uint8_t type = p[0];
    if (type >= kFirstPiece && type <= kLastPiece) {
        std::lock_guard<std::mutex> lock(m_lock);
        OnPiece(type, p + 1, n - 1);
        return;
    }
    switch (type) {
    case kStopped:
        ClearProxyWarning();
        m_host.OnSpeakerStopped();
        break;
    case kStartedTcp:
    case kStartedUdp:
        if (!m_host.Speaking())
            m_mode = static_cast<uint8_t>(type + 1);
        Open(type);
        break;
    case kMarkerTcp:
    case kMarkerUdp: {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_playing && !m_host.Speaking()) {
            m_mode = type;
            OpenLocked(type);
        }
        break;
    }
    default:
        break;  // 123 and everything above 127 mean nothing
    }
}

void VoicePlayback::OnPiece(uint8_t type, const uint8_t* data, size_t n)
{
    // A listener that does not play reads on and drops the sound; a piece
    // longer than any sender makes (a TCP payload can be 65535 bytes) is
    // never copied.
    if (!m_playing || n > kPieceBytes) {
        ++m_droppedPieces;
        return;
    }
    if (type == kFirstPiece) {
        if (m_fill > 0)
            CompleteSecond();  // the rest of the last second was lost
    } else if (m_fill == 0 || type != m_nextType) {
        ++m_droppedPieces;  // a continuation without its start, or out of step
        return;
    }
    if (n > m_assembly.size() - m_fill)
        CompleteSecond();
    std::memcpy(m_assembly.data() + m_fill, data, n);
    m_fill += n;
    m_nextType = static_cast<uint8_t>(type + 1);
    if (m_fill == m_assembly.size())
        CompleteSecond();
}

void VoicePlayback::CompleteSecond()
{
    // Whole samples only, whatever a peer sent.
    size_t length = m_fill & ~static_cast<size_t>(1);
    m_fill = 0;
    m_nextType = kFirstPiece;
    if (length == 0)
        return;
    m_held.emplace_back(m_assembly.begin(), m_assembly.begin() + static_cast<std::ptrdiff_t>(length));
    ++m_completed;
    if (m_prebuffer) {
        if (m_completed >= 2)
            m_prebuffer = false;
        return;
    }
    // One second behind: the newest stays held until the next completes.
    WriteHeld(1);
    while (m_held.size() > kReserveSeconds + 1) {
        m_held.pop_front();
        ++m_droppedSeconds;
    }
}

void VoicePlayback::WriteHeld(size_t keep)
{
    while (m_held.size() > keep) {
        int index = m_host.FreeOutputBuffer();
        if (index < 0)
            return;  // both still play: the seconds wait in the reserve
        const std::vector<uint8_t>& second = m_held.front();
        if (!m_host.WriteOutput(index, second.data(), second.size()))
            ++m_droppedSeconds;
        m_held.pop_front();
    }
}

void VoicePlayback::Open(uint8_t type)
{
    std::lock_guard<std::mutex> lock(m_lock);
    OpenLocked(type);
}

void VoicePlayback::OpenLocked(uint8_t type)
{
    if (m_host.VoiceActive())
        return;  // this client speaks, or already listens
    if (m_mode == kMarkerUdp && m_host.ProxyInUse()) {
        if (!m_proxyWarningShown || type == kStartedTcp || type == kStartedUdp)
            m_host.ShowProxyWarning();
        m_proxyWarningShown = true;
        return;
    }
    ResetLocked();
    if (!m_host.OpenOutput()) {
        m_host.ShowDeviceProblem();
        return;
    }
    m_host.SetVoiceActive(true);
    m_playing = true;
    if (m_mode == kMarkerUdp)
        m_host.StartListenerSession();
}

void VoicePlayback::Close()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_playing) {
        m_host.CloseOutput();
        m_playing = false;
    }
    ResetLocked();
}

void VoicePlayback::ResetLocked()
{
    m_fill = 0;
    m_nextType = kFirstPiece;
    m_prebuffer = true;
    m_completed = 0;
    m_held.clear();
}

void VoicePlayback::ClearProxyWarning()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_proxyWarningShown = false;
}

} // namespace voice
