#include "core/control/PacketReceiveThread_win.h"

#include "core/control/ControlPacketReader.h"
#include "core/base/DHLog.h"

#include <vector>

namespace {

class Forward : public ControlPacketReader::Sink {
public:
    Forward(ReceiveChannel channel, ControlPacketHandler& handler) : m_channel(channel), m_handler(handler) {}
    void OnPacket(const ReceivedPacket& p) override { DispatchControlPacket(m_channel, p, m_handler); }

private:
    ReceiveChannel m_channel;
    ControlPacketHandler& m_handler;
};

} // namespace

PacketReceiveThread::~PacketReceiveThread()
{
    Stop();
}

bool PacketReceiveThread::Start(SOCKET clientEnd, ReceiveChannel channel, ControlPacketHandler& handler)
{
    if (m_thread.Started() || clientEnd == INVALID_SOCKET)
        return false;
    m_stop = false;
    m_running = true;
    return m_thread.Start([this, clientEnd, channel, &handler] { Run(clientEnd, channel, handler); },
                          [this](const std::string& what) {
                              m_running = false;
                              DHLog::Instance().Print(0x08, 1, false, "Meeting receive thread ended: %s\n",
                                                      what.c_str());
                          });
}

bool PacketReceiveThread::Stop()
{
    RequestStop();
    if (m_thread.Join(kJoinMs))
        return true;
    DHLog::Instance().Print(0x08, 1, false, "Meeting receive thread did not end in %u ms.\n", kJoinMs);
    return false;
}

void PacketReceiveThread::Run(SOCKET s, ReceiveChannel channel, ControlPacketHandler& handler)
{
    ControlPacketReader reader;
    Forward forward(channel, handler);
    // Large reads: a canvas or file-share packet can be near 64 KB, and under
    // Wine every read is a wineserver round trip.
    std::vector<uint8_t> buf(256 * 1024);
    while (!m_stop) {
        int ready = WaitReadable(s, 200);
        if (ready == 0)
            continue;
        int n = ready > 0 ? recv(s, reinterpret_cast<char*>(buf.data()), static_cast<int>(buf.size()), 0) : -1;
        // The control end is non-blocking (its sender must never wait
        // without a bound), so a readable socket may still have nothing.
        if (n < 0 && ready > 0 && WSAGetLastError() == WSAEWOULDBLOCK)
            continue;
        if (n <= 0)
            break;
        reader.Feed(buf.data(), static_cast<size_t>(n), forward);
    }
    m_running = false;
}
