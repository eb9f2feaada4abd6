#pragma once
// Meeting packets: a 4-byte header (type, a zero byte, big-endian payload
// length) and a payload. Every feature writes them on the control channel;
// the appliance passes them on to the other participants.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum : uint8_t {
    PLP_HELLO = 1,
    PLP_SHARING_STATE = 2,
    PLP_SET_HOST = 3,
    PLP_SET_ASSIST_PERMISSION = 4,
    PLP_SHARING_REQUEST = 5,
    PLP_KICK = 6,
    PLP_CHAT = 8,
    PLP_START_MEETING = 9,
    PLP_END_MEETING = 10,
    PLP_REQUEST_CONTROL = 11,
    PLP_RELEASE_CONTROL = 12,
    PLP_REJECT_CONTROL = 13,
    PLP_POLL_OPEN_LAST = 14,
    PLP_POLL_OPEN_PART = 15,
    PLP_POLL_SUBMIT = 16,
    PLP_POLL_CLOSE = 17,
    PLP_REQUEST_HOST = 18,
    PLP_REJECT_HOST = 19,
    PLP_ASK_HOST = 20,
    PLP_HOST_ACCEPT = 21,
    PLP_HOST_DECLINE = 22,
    PLP_SET_VIEW_ONLY = 23,
    PLP_RENAME = 24,
    PLP_LOBBY_STATE_2 = 25,
    PLP_LOBBY_STATE_1 = 26,
    PLP_CANVAS = 27,
    PLP_PARTI_MARK = 28,
    PLP_FILE_SHARE = 29,
    PLP_AUDIO = 30,
};

constexpr size_t kControlPacketHeaderSize = 4;
constexpr size_t kNameFieldSize = 128;
constexpr size_t kPollPieceChars = 7168;
constexpr size_t kAudioPieceBytes = 7168;
// A text and its NUL must fit the 16-bit length field.
constexpr size_t kMaxPacketText = 0xFFFF - 1;

struct ControlPacketHeader {
    uint8_t type;
    uint16_t length;

    void Encode(uint8_t out[kControlPacketHeaderSize]) const;
    static ControlPacketHeader Decode(const uint8_t in[kControlPacketHeaderSize]);
};

using ControlPacket = std::vector<uint8_t>;

// Arguments of the manager's control-message sender; which are used depends
// on the type (see BuildControlMessage).
struct ControlMessage {
    uint8_t type = 0;
    std::string name;
    std::string other;
    uint32_t value1 = 0;
    uint32_t value2 = 0;
    uint32_t value3 = 0;
    // For PLP_SHARING_STATE: the sender's own id and its sharing steps, used
    // unless value1 and value2 are both non-zero.
    std::string ownSessionId;
    uint32_t prevSharingStep = 0;
    uint32_t sharingStep = 0;
};

// One packet, or an empty one for types this sender does not build (7, 8,
// 14-17 and anything outside 2-24).
ControlPacket BuildControlMessage(const ControlMessage& m);

// A packet with two name fields (types 11-13, 18-22).
ControlPacket BuildTwoNamePacket(uint8_t type, std::string_view first, std::string_view second);

// Text packets: PLP_POLL_OPEN_LAST splits into 7168-character pieces (type 15
// for all but the last, which is type 14); PLP_POLL_SUBMIT, PLP_CANVAS and
// PLP_PARTI_MARK go as one packet; PLP_POLL_CLOSE is the header alone. False
// (and nothing built) for other types and for single-packet texts too long
// for the length field.
bool BuildTextPackets(uint8_t type, std::string_view text, std::vector<ControlPacket>& out);

// PLP_AUDIO pieces of at most 7168 data bytes, the piece byte counting up.
std::vector<ControlPacket> BuildAudioPackets(uint8_t piece, const uint8_t* data, size_t length);

// Reads a name field of a received payload: up to its NUL, never past the
// field or the payload.
std::string ReadNameField(const uint8_t* payload, size_t payloadLength, size_t offset);
