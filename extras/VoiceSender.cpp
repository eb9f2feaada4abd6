#include "extras/VoiceSender.h"

#include <algorithm>
#include <vector>

namespace voice {

void SendVoice(VoiceLinks& links, uint8_t type, const uint8_t* data, size_t length)
{
    std::vector<uint8_t> record;
    // Sound pieces: types 2 to 123.
    while (static_cast<uint8_t>(type - kFirstPiece) <= kNoMeaning - kFirstPiece) {
        size_t n = std::min(length, kPieceBytes);
        if (links.UdpMode()) {
            record.assign(1, type);
            record.insert(record.end(), data, data + n);
            links.SendRecord(record.data(), record.size());
        } else {
            links.SendPacket(type, data, n);
        }
        if (n == length)
            return;
        data += n;
        length -= n;
        ++type;
    }
    links.SendPacket(type, data, length);
}

void SendCapturedBuffer(VoiceLinks& links, const uint8_t* data, size_t length)
{
    SendVoice(links, kFirstPiece, data, length);
    SendVoice(links, links.UdpMode() ? kMarkerUdp : kMarkerTcp, nullptr, 0);
}

} // namespace voice
