#pragma once
// Cuts one second of captured sound into voice messages. Each piece carries
// a type byte (2 for the first, counting up) and at most 7168 bytes of PCM;
// in UDP mode a piece is one DTLS record, in TCP mode one meeting packet.
// The mode is asked again before every piece, so a switch to TCP in the
// middle of a buffer sends the rest by TCP. Control messages (1, 124-127)
// always go as packets.
#include <cstddef>
#include <cstdint>

namespace voice {

enum : uint8_t {
    kStopped = 1,
    kFirstPiece = 2,
    kLastPiece = 122,
    kNoMeaning = 123,
    kStartedTcp = 124,
    kMarkerTcp = 125,
    kStartedUdp = 126,
    kMarkerUdp = 127,
};

constexpr size_t kPieceBytes = 7168;
// One second of 8 kHz 16-bit mono PCM.
constexpr size_t kSecondBytes = 16000;

class VoiceLinks {
public:
    virtual bool UdpMode() const = 0;
    // One DTLS record (type byte and PCM); false when it was dropped.
    virtual bool SendRecord(const uint8_t* record, size_t length) = 0;
    // One message as meeting packets on the control connection.
    virtual bool SendPacket(uint8_t type, const uint8_t* data, size_t length) = 0;

protected:
    ~VoiceLinks() = default;
};

// Sends type with its data as the voice messages above.
void SendVoice(VoiceLinks& links, uint8_t type, const uint8_t* data, size_t length);
// One captured buffer: its pieces, then the one-byte marker of the mode.
void SendCapturedBuffer(VoiceLinks& links, const uint8_t* data, size_t length);

} // namespace voice
