#include "Technician/decode/ZlibHexDecoder.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/Limits.h"
#include "rfb/MemInStream.h"

#include <algorithm>

namespace decode {

namespace {

constexpr uint8_t kZlibRaw = 0x20;
constexpr uint8_t kZlibHextile = 0x40;
// Background, foreground, count and 255 coloured sub-rectangles of 4-byte pixels.
constexpr size_t kMaxTileBody = 4 + 4 + 1 + 255 * (4 + 2);

} // namespace

size_t ZlibHexDecoder::inflateTile(rdr::InStream& in, Inflater& stream, size_t capacity, const DecodeLog& log)
{
    const size_t length = in.readU16();
    in.readBytes(m_compressed.reserve(length, log), length);
    return stream.inflate(m_compressed.data(), length, m_inflated.reserve(capacity, log), capacity, log);
}

RectResult ZlibHexDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    HextileColours colours;
    hextile::ForEachTile(h.x, h.y, h.w, h.h, [&](int tx, int ty, int tw, int th) {
        m_tile.start(tx, ty, tw, th);
        const uint8_t subencoding = in.readU8();
        if (subencoding & hextile::kRaw) {
            m_tile.readRaw(in, t.colours);
        } else if (subencoding & kZlibRaw) {
            const size_t size = RawSize(tw, th, t.colours.bytesPerPixel());
            if (inflateTile(in, m_rawStream, size, t.log) != size)
                throw DecodeError("ZlibHex: raw tile inflates to the wrong size");
            rdr::MemInStream pixels(m_inflated.data(), size);
            m_tile.readRaw(pixels, t.colours);
        } else if (subencoding & kZlibHextile) {
            const size_t size = inflateTile(in, m_tileStream, kMaxTileBody, t.log);
            rdr::MemInStream body(m_inflated.data(), size);
            try {
                m_tile.readBody(body, subencoding, t.colours, colours);
            } catch (const rdr::EndOfStream&) {
                throw DecodeError("ZlibHex: tile holds fewer sub-rectangles than it claims");
            }
            if (body.remaining() != 0)
                throw DecodeError("ZlibHex: tile holds more data than it uses");
        } else {
            m_tile.readBody(in, subencoding, t.colours, colours);
        }
        Framebuffer::Canvas canvas = t.fb.draw();
        m_tile.draw(canvas);
    });
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

} // namespace decode
