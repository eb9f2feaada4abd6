#pragma once
// Tunnel frames: every unit on an appliance tunnel is a big-endian 16-bit tag,
// a big-endian 16-bit length and that many data bytes. The tag names the local
// channel the data belongs to.
#include <cstddef>
#include <cstdint>
#include <vector>

enum : uint16_t {
    TAG_CONTROL = 0xAABB,
    TAG_CANVAS = 0xBBCC,
    TAG_AUDIO = 0xBBDD,
    TAG_CHAT = 0xAACC,
    TAG_FILE_SHARE = 0xAADD,
    TAG_SPARE = 0xAAEE, // never sent; reaches no channel
    TAG_SHARING = 0xAAFF,
};

constexpr size_t kTunnelFrameHeaderSize = 4;
constexpr size_t kTunnelFrameMaxData = 0xFFFF;

// The control tunnel carries the five meeting channels; the sharing tunnel
// carries only the screen-sharing stream.
enum class TunnelKind : uint8_t { Control = 0, Sharing = 1 };

// The loopback channels, in the order they are created.
enum class LocalChannel : uint8_t { Chat, Canvas, FileShare, Audio, Control, Sharing };
constexpr size_t kLocalChannelCount = 6;

struct TunnelFrameHeader {
    uint16_t tag;
    uint16_t length;
};

void EncodeTunnelFrameHeader(uint16_t tag, uint16_t length, uint8_t out[kTunnelFrameHeaderSize]);
TunnelFrameHeader DecodeTunnelFrameHeader(const uint8_t in[kTunnelFrameHeaderSize]);

uint16_t TagForChannel(LocalChannel channel);
// Which channel a frame arriving on a tunnel of the given kind is written to.
// False for tags that reach no channel there (0xAAEE anywhere, 0xAAFF on the
// control tunnel, every meeting tag on the sharing tunnel, unknown values).
bool ChannelForTag(TunnelKind kind, uint16_t tag, LocalChannel& channel);
// Bytes the relay reads from a channel's accepted end for one upstream frame:
// small enough that one frame always fits one TLS record.
size_t ChannelReadSize(LocalChannel channel);
// Frames a channel's bytes as successive reads of at most maxData bytes
// (1-65535) would: each piece behind its own header, appended to out.
void AppendTunnelFrames(uint16_t tag, const uint8_t* data, size_t length, size_t maxData,
                        std::vector<uint8_t>& out);
// Of frames laid back to back, the byte count of the leading whole frames
// that fit in limit bytes together, so that a TLS record never ends inside a
// frame. A first frame longer than limit is counted whole (it has to be cut
// anyway), and so are trailing bytes that do not make a whole frame.
size_t WholeFramesWithin(const uint8_t* frames, size_t length, size_t limit);
