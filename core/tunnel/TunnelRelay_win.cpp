#include "core/tunnel/TunnelRelay_win.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr uint32_t kSelectMs = 2000;
// Upstream batches. Under Wine each socket call is a wineserver round trip,
// so a busy channel is read in large pieces (framed as reads of the
// channel's read size would be) and its frames leave in one send. The piece
// grows while the tunnel takes everything at once, and shrinks (down to one
// read size) while sends have to wait for the appliance: on a slow link a
// large send would hold the relay, and with it every downstream frame.
constexpr size_t kBatchFirstStep = 16 * 1024;
constexpr size_t kBatchMaxBytes = 256 * 1024;

size_t Index(LocalChannel c)
{
    return static_cast<size_t>(c);
}

} // namespace

// Writes downstream frames of one tunnel to their channels. The frames of
// one tunnel read are gathered per channel and written with one send each.
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
        if (c == LocalChannel::Audio && !m_relay.m_audioWaited) {
            // Once per meeting: the voice receiver gets a moment to start.
            m_relay.m_audioWaited = true;
            for (int i = 0; i < 150 && m_relay.m_audioReady && !m_relay.m_audioReady() && !m_relay.m_stop; ++i)
                Sleep(20);
        }
        std::vector<uint8_t>& out = m_pending[Index(c)];
        out.insert(out.end(), data, data + length);
        return true;
    }

    // A channel whose feature has gone drops its bytes; the others go on.
    // The write waits while the feature is slow to read, until Stop.
    void Flush()
    {
        for (size_t i = 0; i < kLocalChannelCount; ++i) {
            std::vector<uint8_t>& out = m_pending[i];
            if (out.empty())
                continue;
            SocketHandle& end = m_relay.m_ends[i];
            if (end && !SendAllUnless(end.get(), out.data(), out.size(), m_relay.m_stop))
                m_relay.DropChannel(static_cast<LocalChannel>(i));
            out.clear();
        }
    }

private:
    TunnelRelay& m_relay;
    TunnelKind m_kind;
    std::array<std::vector<uint8_t>, kLocalChannelCount> m_pending;
};

TunnelRelay::TunnelRelay() = default;

TunnelRelay::~TunnelRelay()
{
    Stop();
}

bool TunnelRelay::Start(CApplianceTunnel& control, LocalChannels& channels, EndedCallback onEnded,
                        ReadyCheck audioReady)
{
    if (m_thread.joinable() || !control.Connected())
        return false;
    m_wakeSocket.Reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (!m_wakeSocket || bind(m_wakeSocket.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(m_wakeSocket.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
        connect(m_wakeSocket.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return false;
    for (LocalChannel c : {LocalChannel::Chat, LocalChannel::Canvas, LocalChannel::FileShare, LocalChannel::Audio,
                           LocalChannel::Control}) {
        m_ends[Index(c)] = channels.TakeAcceptedEnd(c);
        if (m_ends[Index(c)] && !SetNonBlocking(m_ends[Index(c)].get()))
            return false;
    }
    m_control = &control;
    m_onEnded = std::move(onEnded);
    m_audioReady = std::move(audioReady);
    m_audioWaited = false;
    m_batch[0] = m_batch[1] = 0;
    m_stop = false;
    m_running = true;
    m_thread = std::thread([this] { Run(); });
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
        m_batch[1] = 0;
        if (acceptedEnd)
            SetNonBlocking(acceptedEnd.get());
        m_ends[Index(LocalChannel::Sharing)] = std::move(acceptedEnd);
        ++m_generation;
    }
    Wake();
}

void TunnelRelay::DetachSharing()
{
    std::unique_lock<std::mutex> l(m_lock);
    // Closed on return, after the relay has left a select() that may hold it.
    SocketHandle old = std::move(m_ends[Index(LocalChannel::Sharing)]);
    m_sharing = nullptr;
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
    // The relay delivers whole frames under this lock.
    std::lock_guard<std::mutex> l(m_lock);
    SocketHandle& end = m_ends[Index(c)];
    return end && SendAllUnless(end.get(), data, length, m_stop);
}

void TunnelRelay::DropSharingLocked()
{
    m_sharing = nullptr;
    m_ends[Index(LocalChannel::Sharing)].Reset();
}

void TunnelRelay::DropChannel(LocalChannel c)
{
    m_ends[Index(c)].Reset();
}

void TunnelRelay::Stop()
{
    m_stop = true;
    Wake();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> l(m_lock);
    for (auto& e : m_ends)
        e.Reset();
    m_sharing = nullptr;
    m_control = nullptr;
}

bool TunnelRelay::ServeChannel(LocalChannel c)
{
    SocketHandle& end = m_ends[Index(c)];
    size_t readSize = ChannelReadSize(c);
    size_t& batch = m_batch[c == LocalChannel::Sharing ? 1 : 0];
    m_read.resize(batch > readSize ? batch / readSize * readSize : readSize);
    int n = recv(end.get(), reinterpret_cast<char*>(m_read.data()), static_cast<int>(m_read.size()), 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return true;
    if (n <= 0) {
        // The feature closed its end (or it broke): only that channel stops.
        DropChannel(c);
        return true;
    }
    m_frames.clear();
    AppendTunnelFrames(TagForChannel(c), m_read.data(), static_cast<size_t>(n), readSize, m_frames);
    CApplianceTunnel* tunnel = c == LocalChannel::Sharing ? m_sharing : m_control;
    if (!tunnel)
        return true;
    bool waited = false;
    if (tunnel->SendFrames(m_frames.data(), m_frames.size(), &waited)) {
        batch = waited ? batch / 2 : batch < kBatchFirstStep ? kBatchFirstStep : std::min(batch * 2, kBatchMaxBytes);
        return true;
    }
    if (tunnel == m_sharing) {
        m_sharing->Close();
        DropSharingLocked();
        return true;
    }
    return false;
}

void TunnelRelay::Run()
{
    Sink controlSink(*this, TunnelKind::Control);
    Sink sharingSink(*this, TunnelKind::Sharing);
    std::string ended;
    while (!m_stop && ended.empty()) {
        fd_set r;
        FD_ZERO(&r);
        uint64_t generation;
        {
            std::lock_guard<std::mutex> l(m_lock);
            generation = m_generation;
            FD_SET(m_wakeSocket.get(), &r);
            FD_SET(m_control->Socket(), &r);
            if (m_sharing)
                FD_SET(m_sharing->Socket(), &r);
            for (auto& e : m_ends)
                if (e)
                    FD_SET(e.get(), &r);
        }
        timeval tv{kSelectMs / 1000, 0};
        int n = select(0, &r, nullptr, nullptr, &tv);
        std::lock_guard<std::mutex> l(m_lock);
        if (n < 0) {
            ended = "select failed";
        } else if (n > 0 && generation == m_generation && !m_stop) {
            if (FD_ISSET(m_wakeSocket.get(), &r)) {
                char drain[64];
                recv(m_wakeSocket.get(), drain, sizeof drain, 0);
            }
            if (FD_ISSET(m_control->Socket(), &r)) {
                CApplianceTunnel::ReadResult rr = m_control->ReadAndRelay(controlSink);
                controlSink.Flush();
                if (rr == CApplianceTunnel::ReadResult::UnknownTag)
                    ended = "frame with a tag that reaches no channel";
                else if (rr != CApplianceTunnel::ReadResult::Continue)
                    ended = "control tunnel closed";
            }
            if (ended.empty() && m_sharing && FD_ISSET(m_sharing->Socket(), &r)) {
                CApplianceTunnel::ReadResult rr = m_sharing->ReadAndRelay(sharingSink);
                sharingSink.Flush();
                if (rr != CApplianceTunnel::ReadResult::Continue) {
                    m_sharing->Close();
                    DropSharingLocked();
                }
            }
            for (size_t i = 0; ended.empty() && i < kLocalChannelCount; ++i)
                if (m_ends[i] && FD_ISSET(m_ends[i].get(), &r) && !ServeChannel(static_cast<LocalChannel>(i)))
                    ended = "control tunnel send failed";
        } else if (n > 0 && FD_ISSET(m_wakeSocket.get(), &r)) {
            char drain[64];
            recv(m_wakeSocket.get(), drain, sizeof drain, 0);
        }
        ++m_passes;
        m_passDone.notify_all();
    }
    if (!ended.empty()) {
        m_control->Close();
        if (m_onEnded && !m_stop)
            m_onEnded(ended);
    }
    std::lock_guard<std::mutex> l(m_lock);
    m_running = false;
    m_passDone.notify_all();
}
