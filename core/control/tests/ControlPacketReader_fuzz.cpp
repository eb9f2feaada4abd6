// Arbitrary bytes through the packet reader and the dispatcher: no overrun,
// and every payload handed out is NUL-terminated.
#include "core/control/ControlPacketDispatcher.h"
#include "core/control/ControlPacketReader.h"

#include <cstdlib>

namespace {

struct Touch : ControlPacketHandler, ControlPacketReader::Sink {
    size_t sum = 0;
    void Use(std::string_view s) { sum += s.size(); }
    void OnPacket(const ReceivedPacket& p) override
    {
        if (p.data[p.length] != 0)
            std::abort();
        DispatchControlPacket(ReceiveChannel::Control, p, *this);
        DispatchControlPacket(ReceiveChannel::Canvas, p, *this);
    }
    void OnControlRequest(uint8_t, const std::string& a, const std::string& b) override { Use(a); Use(b); }
    void OnHostRequest(uint8_t, const std::string& a, const std::string& b) override { Use(a); Use(b); }
    void OnHostInvitation(uint8_t, const std::string& a, const std::string& b) override { Use(a); Use(b); }
    void OnPollPiece(bool, std::string_view t) override { Use(t); }
    void OnPollSubmit(std::string_view t) override { Use(t); }
    void OnPollClose() override {}
    void OnCanvasMessage(std::string_view t) override { Use(t); }
    void OnPartiMark(std::string_view t) override { Use(t); }
    void OnFileShare(const ReceivedPacket& p) override { Use(p.Text()); }
    void OnLobbyState(uint32_t) override {}
    void OnMeetingStateChanged(uint8_t) override {}
    void OnDropped(const ReceivedPacket&, const char*) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t stride = data[0] % 17 + 1;
    ControlPacketReader r;
    Touch t;
    for (size_t at = 1; at < size; at += stride)
        r.Feed(data + at, std::min(stride, size - at), t);
    return 0;
}
