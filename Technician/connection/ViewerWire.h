// The viewer's outgoing messages and the start reply, as bytes. Every
// message is built whole here, so the writer sends each in one write.
#pragma once

#include "Technician/connection/ViewerOptions.h"
#include "rfb/PixelFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace viewer {

using Bytes = std::vector<uint8_t>;

// The client pixel format and the first byte after its shifts (set by the
// rows that ask for a grey picture).
struct ClientFormat {
    rfb::PixelFormat pf;
    uint8_t trailing = 0;
};

// The pixel format of a colour-depth row. Row 0 takes the server's own
// format (big-endian cleared) when it is true colour, else 16-bit 6-5-5.
// False for a row outside the table: the caller keeps its format.
bool ClientFormatFor(int colourDepth, const rfb::PixelFormat& server, ClientFormat& out);

// Picture limits: each side 1..16384, at most 2^26 pixels.
constexpr int kMaxSide = 16384;
constexpr long long kMaxPixels = 1LL << 26;
bool SizeAcceptable(int width, int height);

struct StartReply {
    int width = 0;
    int height = 0;
    rfb::PixelFormat server;
    uint32_t nameLength = 0;
};

constexpr size_t kStartReplyLength = 28;
constexpr uint8_t kStartToken = 1;

// Checks and reads the 28 bytes of a start reply (type and token included).
// Null on success, else why it was refused.
const char* ParseStartReply(const uint8_t* bytes, StartReply& out);

Bytes StartRequest();
Bytes SetPixelFormatMessage(const ClientFormat& f);
std::vector<int32_t> EncodingList(const ViewerOptions& o);
Bytes SetEncodingsMessage(const std::vector<int32_t>& encodings);
Bytes UpdateRequestMessage(bool incremental, int width, int height);
Bytes SetScaleMessage(int scale);

// Input messages: KeyEvent {4, down, 0, 0, keysym}; PointerEvent {5, mask,
// x, y} with the point limited to 0..65535; SetSW {10, 0, x, y}.
Bytes KeyEventMessage(uint32_t keysym, bool down);
Bytes PointerEventMessage(uint8_t mask, int x, int y);
Bytes SetSWMessage(int x, int y);
// ClientCutText {6, 0, 0, 0, length} and the text, as one message.
Bytes ClientCutTextMessage(const std::string& text);

} // namespace viewer
