#include "core/control/TunnelHello.h"

#include "core/control/ControlPacket.h"
#include "core/tunnel/ServiceRequest.h"

#include <algorithm>

namespace {

void PutText(uint8_t* field, size_t fieldSize, std::string_view text)
{
    std::copy_n(text.data(), std::min(text.size(), fieldSize), field);
}

} // namespace

std::array<uint8_t, kTunnelHelloSize> BuildTunnelHello(uint16_t role, std::string_view meetingId,
                                                       std::string_view displayNameUtf8,
                                                       std::string_view sessionId)
{
    std::array<uint8_t, kTunnelHelloSize> h{};
    h[0] = 0xBB;
    h[1] = 0xAA;
    h[2] = 0x01; // frame length 294
    h[3] = 0x26;
    ControlPacketHeader{PLP_HELLO, 290}.Encode(&h[4]);
    h[8] = static_cast<uint8_t>(role);
    h[9] = static_cast<uint8_t>(role >> 8);
    PutText(&h[10], 31, meetingId);
    // The display name fills its whole field when it is that long.
    PutText(&h[42], 128, displayNameUtf8);
    PutText(&h[170], kMaxTunnelSessionId, sessionId);
    return h;
}
