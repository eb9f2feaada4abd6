#include "core/tunnel/TunnelRelay_win.h"

#include "core/base/DHLog.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr uint32_t kSelectMs = 2000;
// While the voice receiver is awaited, the pass looks again this often.
constexpr uint32_t kAudioPollMs = 20;
constexpr uint32_t kAudioWaitMs = 3000;
// The largest read of one channel in one pass. Under Wine each socket call
// is a wineserver round trip, so a busy channel is read in large pieces
// (framed as reads of the channel's read size would be) whose records leave
// in one send.
constexpr size_t kReadMaxBytes = 256 * 1024;
// A queue's written front is cut away once it is this large.
constexpr size_t kCompactBytes = 64 * 1024;

size_t Index(LocalChannel c)
{
    return static_cast<size_t>(c);
}

const char* ChannelName(LocalChannel c)
{
    switch (c) {
    case LocalChannel::Chat:
        return "chat";
    case LocalChannel::Canvas:
        return "canvas";
    case LocalChannel::FileShare:
        return "file share";
    case LocalChannel::Audio:
        return "voice";
    case LocalChannel::Control:
        return "control";
    case LocalChannel::Sharing:
        return "sharing";
    }
    return "?";
}

void Compact(std::vector<uint8_t>& bytes, size_t& at)
{
    if (at == bytes.size()) {
        bytes.clear();
        at = 0;
    } else if (at >= kCompactBytes && at * 2 >= bytes.size()) {
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        at = 0;
    }
}

} // namespace

// Queues downstream frames of one tunnel for their channels; the relay
// writes the queues out as the features read.
class TunnelRelay::Sink : public FrameSink {
public:
    Sink(TunnelRelay& relay, TunnelKind kind) : m_relay(relay), m_kind(kind) {}

    bool AcceptsTag(uint16_t tag) override
    {
        LocalChannel c;
        return ChannelForTag(m_kind, tag, c);
    }

    bool Deliver(uint16_t tag, const uint8_t* data, size_t length) override
    {
        LocalChannel c;
        ChannelForTag(m_kind, tag, c);
        Channel& ch = m_relay.m_channels[Index(c)];
        // A channel whose feature has gone drops its bytes; the others go on.
        if (!ch.end)
            return true;
        if (c == LocalChannel::Audio) {
            m_relay.HoldVoiceOnce();
            m_relay.m_voice.Append(data, length, ch.down);
            m_relay.m_voiceDropped = m_relay.m_voice.DroppedPackets();
            return true;
        }
        // The sharing tunnel is not read while its queue is full, so that
        // queue only overshoots by one read; it is never closed for it.
        if (c != LocalChannel::Sharing && ch.Pending() + length > kChannelQueueBytes) {
            m_relay.DropChannel(c, "its reader stopped reading");
            return true;
        }
        ch.down.insert(ch.down.end(), data, data + length);
        return true;
    }

private:
    TunnelRelay& m_relay;
    TunnelKind m_kind;
};

TunnelRelay::TunnelRelay() = default;

TunnelRelay::~TunnelRelay()
{
    Stop();
}

bool TunnelRelay::Start(CApplianceTunnel& control, LocalChannels& channels, EndedCallback onEnded,
                        ReadyCheck audioReady)
{
    if (m_thread.Started() || !control.Connected())
        return false;
    m_wakeSocket.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (!m_wakeSocket || bind(m_wakeSocket.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(m_wakeSocket.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        connect(m_wakeSocket.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        !SetNonBlocking(m_wakeSocket.get()))
        return false;
    for (LocalChannel c : {LocalChannel::Chat, LocalChannel::Canvas, LocalChannel::FileShare, LocalChannel::Audio,
                           LocalChannel::Control}) {
        Channel& ch = m_channels[Index(c)];
        ch.end = channels.TakeAcceptedEnd(c);
        ch.down.clear();
        ch.downAt = 0;
        if (ch.end && !SetNonBlocking(ch.end.get()))
            return false;
    }
    m_control = &control;
    m_onEnded = std::move(onEnded);
    m_audioReady = std::move(audioReady);
    m_audioWaited = false;
    m_audioDeadline = 0;
    m_voice.Reset();
    m_up[0].Clear();
    m_up[1].Clear();
    m_stop = false;
    m_running = true;
    if (!m_thread.Start([this] { Run(); })) {
        m_running = false;
        return false;
    }
    return true;
}

void TunnelRelay::Wake()
{
    char b = 1;
    if (m_wakeSocket)
        send(m_wakeSocket.get(), &b, 1, 0);
}

void TunnelRelay::AttachSharing(CApplianceTunnel& sharing, SocketHandle acceptedEnd)
{
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_sharing = &sharing;
        m_up[1].Clear();
        if (acceptedEnd)
            SetNonBlocking(acceptedEnd.get());
        Channel& ch = m_channels[Index(LocalChannel::Sharing)];
        ch.end = std::move(acceptedEnd);
        ch.down.clear();
        ch.downAt = 0;
        ++m_generation;
    }
    Wake();
}

void TunnelRelay::DetachSharing()
{
    std::unique_lock<std::mutex> l(m_lock);
    // Closed on return, after the relay has left a select() that may hold it.
    SocketHandle old = std::move(m_channels[Index(LocalChannel::Sharing)].end);
    DropSharingLocked();
    ++m_generation;
    uint64_t seen = m_passes;
    Wake();
    // The relay re-reads its set after this pass; until then it may still sit
    // in select() on the old sockets, which stay open until it has left.
    m_passDone.wait_for(l, std::chrono::milliseconds(kSelectMs * 2),
                        [&] { return m_passes > seen || !m_running; });
}

bool TunnelRelay::WriteToChannel(LocalChannel c, const void* data, size_t length)
{
    std::lock_guard<std::mutex> l(m_lock);
    Channel& ch = m_channels[Index(c)];
    size_t bound = c == LocalChannel::Audio ? kVoiceQueueBytes
                   : c == LocalChannel::Sharing ? kSharingQueueBytes
                                                : kChannelQueueBytes;
    if (!ch.end || ch.Pending() + length > bound)
        return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    ch.down.insert(ch.down.end(), p, p + length);
    FlushChannel(c);
    if (ch.Pending() > 0)
        Wake();
    return true;
}

void TunnelRelay::DropSharingLocked()
{
    m_sharing = nullptr;
    m_up[1].Clear();
    Channel& ch = m_channels[Index(LocalChannel::Sharing)];
    ch.end.Reset();
    ch.down.clear();
    ch.downAt = 0;
}

void TunnelRelay::DropChannel(LocalChannel c, const char* why)
{
    Channel& ch = m_channels[Index(c)];
    if (why && ch.end)
        DHLog::Instance().Print(0x08, 1, false, "The %s channel was closed: %s.\n", ChannelName(c), why);
    ch.end.Reset();
    ch.down.clear();
    ch.downAt = 0;
    if (c == LocalChannel::Sharing)
        m_up[1].Clear();
}

void TunnelRelay::RequestStop()
{
    m_stop = true;
    Wake();
}

bool TunnelRelay::Stop()
{
    RequestStop();
    bool ended = m_thread.Join(kJoinMs);
    if (!ended)
        DHLog::Instance().Print(0x08, 1, false, "The tunnel relay did not end in %u ms.\n", kJoinMs);
    std::lock_guard<std::mutex> l(m_lock);
    for (size_t i = 0; i < kLocalChannelCount; ++i)
        DropChannel(static_cast<LocalChannel>(i), nullptr);
    m_up[0].Clear();
    m_up[1].Clear();
    m_sharing = nullptr;
    m_control = nullptr;
    return ended;
}

void TunnelRelay::HoldVoiceOnce()
{
    // Once per meeting: the voice receiver gets a moment to start before the
    // first voice bytes reach it; they wait in the queue meanwhile.
    if (m_audioWaited)
        return;
    m_audioWaited = true;
    if (m_audioReady && !m_audioReady())
        m_audioDeadline = GetTickCount64() + kAudioWaitMs;
}

bool TunnelRelay::VoiceHeld()
{
    if (m_audioDeadline == 0)
        return false;
    if (GetTickCount64() >= m_audioDeadline || !m_audioReady || m_audioReady())
        m_audioDeadline = 0;
    return m_audioDeadline != 0;
}

void TunnelRelay::FlushChannel(LocalChannel c)
{
    Channel& ch = m_channels[Index(c)];
    if (!ch.end || ch.Pending() == 0 || (c == LocalChannel::Audio && VoiceHeld()))
        return;
    size_t left = ch.Pending();
    int n = send(ch.end.get(), reinterpret_cast<const char*>(ch.down.data() + ch.downAt),
                 static_cast<int>(std::min<size_t>(left, 0x40000000)), 0);
    if (n > 0) {
        ch.downAt += static_cast<size_t>(n);
        Compact(ch.down, ch.downAt);
    } else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK) {
        // The feature closed its end (or it broke): only that channel stops.
        DropChannel(c, nullptr);
    }
}

bool TunnelRelay::FlushUpstream(size_t which)
{
    CApplianceTunnel* tunnel = which == 1 ? m_sharing : m_control;
    Upstream& up = m_up[which];
    while (tunnel && up.Pending() > 0) {
        int n = tunnel->SendSome(up.records.data() + up.at, up.Pending());
        if (n < 0)
            return false;
        if (n == 0)
            break;
        up.at += static_cast<size_t>(n);
    }
    Compact(up.records, up.at);
    return true;
}

bool TunnelRelay::ServeChannel(LocalChannel c)
{
    Channel& ch = m_channels[Index(c)];
    const size_t which = c == LocalChannel::Sharing ? 1 : 0;
    CApplianceTunnel* tunnel = which == 1 ? m_sharing : m_control;
    size_t readSize = ChannelReadSize(c);
    size_t pending = m_up[which].Pending();
    size_t room = pending < kUpstreamQueueBytes ? kUpstreamQueueBytes - pending : 0;
    size_t want = std::min(room, kReadMaxBytes) / readSize * readSize;
    m_read.resize(std::max(want, readSize));
    int n = recv(ch.end.get(), reinterpret_cast<char*>(m_read.data()), static_cast<int>(m_read.size()), 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return true;
    if (n <= 0) {
        DropChannel(c, nullptr);
        return true;
    }
    if (!tunnel)
        return true;
    m_frames.clear();
    AppendTunnelFrames(TagForChannel(c), m_read.data(), static_cast<size_t>(n), readSize, m_frames);
    if (tunnel->EncryptFrames(m_frames.data(), m_frames.size(), m_up[which].records) && FlushUpstream(which))
        return true;
    if (which == 1) {
        m_sharing->Close();
        DropSharingLocked();
        return true;
    }
    return false;
}

std::string TunnelRelay::Pass()
{
    Sink controlSink(*this, TunnelKind::Control);
    Sink sharingSink(*this, TunnelKind::Sharing);
    fd_set r, w;
    FD_ZERO(&r);
    FD_ZERO(&w);
    uint64_t generation;
    uint32_t waitMs = kSelectMs;
    {
        std::lock_guard<std::mutex> l(m_lock);
        generation = m_generation;
        FD_SET(m_wakeSocket.get(), &r);
        FD_SET(m_control->Socket(), &r);
        if (m_up[0].Pending() > 0)
            FD_SET(m_control->Socket(), &w);
        if (m_sharing) {
            if (m_channels[Index(LocalChannel::Sharing)].Pending() < kSharingQueueBytes)
                FD_SET(m_sharing->Socket(), &r);
            if (m_up[1].Pending() > 0)
                FD_SET(m_sharing->Socket(), &w);
        }
        for (size_t i = 0; i < kLocalChannelCount; ++i) {
            const Channel& ch = m_channels[i];
            if (!ch.end)
                continue;
            const size_t which = i == Index(LocalChannel::Sharing) ? 1 : 0;
            if (m_up[which].Pending() < kUpstreamQueueBytes)
                FD_SET(ch.end.get(), &r);
            if (ch.Pending() > 0) {
                if (i == Index(LocalChannel::Audio) && VoiceHeld())
                    waitMs = kAudioPollMs;
                else
                    FD_SET(ch.end.get(), &w);
            }
        }
    }
    timeval tv{static_cast<long>(waitMs / 1000), static_cast<long>(waitMs % 1000 * 1000)};
    int n = select(0, &r, w.fd_count ? &w : nullptr, nullptr, &tv);
    std::lock_guard<std::mutex> l(m_lock);
    if (n < 0)
        return "select failed";
    if (n > 0 && FD_ISSET(m_wakeSocket.get(), &r)) {
        char drain[64];
        while (recv(m_wakeSocket.get(), drain, sizeof drain, 0) > 0) {
        }
    }
    // A changed set makes this pass's sockets stale; the next pass re-reads.
    if (generation != m_generation || m_stop)
        return {};
    if (n > 0 && FD_ISSET(m_control->Socket(), &r)) {
        CApplianceTunnel::ReadResult rr = m_control->ReadAndRelay(controlSink);
        if (rr == CApplianceTunnel::ReadResult::UnknownTag)
            return "frame with a tag that reaches no channel";
        if (rr != CApplianceTunnel::ReadResult::Continue)
            return "control tunnel closed";
    }
    if (n > 0 && m_sharing && FD_ISSET(m_sharing->Socket(), &r)) {
        if (m_sharing->ReadAndRelay(sharingSink) != CApplianceTunnel::ReadResult::Continue) {
            m_sharing->Close();
            DropSharingLocked();
        }
    }
    for (size_t i = 0; n > 0 && i < kLocalChannelCount; ++i) {
        if (m_channels[i].end && FD_ISSET(m_channels[i].end.get(), &r) && !ServeChannel(static_cast<LocalChannel>(i)))
            return "control tunnel send failed";
    }
    if (!FlushUpstream(0))
        return "control tunnel send failed";
    if (m_sharing && !FlushUpstream(1)) {
        m_sharing->Close();
        DropSharingLocked();
    }
    for (size_t i = 0; i < kLocalChannelCount; ++i)
        FlushChannel(static_cast<LocalChannel>(i));
    return {};
}

void TunnelRelay::Run()
{
    std::string ended;
    while (!m_stop && ended.empty()) {
        try {
            ended = Pass();
        } catch (const std::exception& e) {
            ended = std::string("relay failed: ") + e.what();
        } catch (...) {
            ended = "relay failed";
        }
        std::lock_guard<std::mutex> l(m_lock);
        ++m_passes;
        m_passDone.notify_all();
    }
    if (!ended.empty()) {
        DHLog::Instance().Print(0x08, 1, false, "The meeting relay ended: %s.\n", ended.c_str());
        m_control->Close();
        if (m_onEnded && !m_stop)
            m_onEnded(ended);
    }
    std::lock_guard<std::mutex> l(m_lock);
    m_running = false;
    m_passDone.notify_all();
}
