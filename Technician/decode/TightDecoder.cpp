#include "Technician/decode/TightDecoder.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/Limits.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace decode {

namespace {

constexpr uint8_t kFill = 8;
constexpr uint8_t kJpeg = 9;
constexpr uint8_t kExplicitFilter = 4;
constexpr size_t kMinCompressed = 12;

// Logs one of Tight's error lines and ends the session with its text.
[[noreturn]] void fail(const DecodeLog& log, const char* line)
{
    log.write(LogLevel::DebugError, "%s", line);
    throw DecodeError(std::string(line, std::strlen(line) - 1).c_str());
}

uint32_t readTightColour(rdr::InStream& in, const TightPixels& px)
{
    uint8_t bytes[4];
    in.readBytes(bytes, px.bytes());
    return px.colour(bytes);
}

} // namespace

size_t TightDecoder::ReadCompactLength(rdr::InStream& in)
{
    size_t length = 0;
    for (unsigned i = 0; i < 3; ++i) {
        const uint8_t b = in.readU8();
        if (i == 2)
            return length | static_cast<size_t>(b) << 14;
        length |= static_cast<size_t>(b & 0x7F) << (7 * i);
        if (!(b & 0x80))
            break;
    }
    return length;
}

RectResult TightDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const rfb::PixelFormat& pf = t.colours.format();
    const TightPixels px{t.colours, pf.bitsPerPixel == 32 && pf.depth == 24 && pf.redMax == 255 &&
                                        pf.greenMax == 255 && pf.blueMax == 255};
    const uint8_t control = in.readU8();
    for (int i = 0; i < 4; ++i)
        if (control >> i & 1)
            m_streams[i].reset(t.log);
    const uint8_t mode = control >> 4;
    if (mode == kFill) {
        const uint32_t colour = readTightColour(in, px);
        t.fb.draw().fill(h.rect(), colour);
    } else if (mode == kJpeg) {
        return decodeJpeg(in, h, t);
    } else if (mode > kJpeg) {
        fail(t.log, "Tight encoding: bad subencoding value received.\n");
    } else {
        decodeBasic(in, h, t, px, mode);
    }
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

RectResult TightDecoder::decodeJpeg(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const size_t length = ReadCompactLength(in);
    if (length == 0) {
        t.log.write(LogLevel::DebugError, "Incorrect data received from the server.\n");
        return RectResult::Abandoned;
    }
    if (length > 2 * RawSize(h.w, h.h, 4) + kCompressedSlack)
        throw DecodeError("Tight encoding: JPEG length above the limit for its rectangle");
    in.readBytes(m_compressed.reserve(length, t.log), length);
    if (!m_jpeg.decode(m_compressed.data(), length, h.w, h.h, m_colours)) {
        t.log.write(LogLevel::DebugError, "%s", m_jpeg.why().c_str());
        return RectResult::Abandoned;
    }
    t.fb.draw().put(h.x, h.y, h.w, h.h, m_colours.data());
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

TightDecoder::Filter TightDecoder::readFilter(rdr::InStream& in, uint8_t mode, const TightPixels& px,
                                              const DecodeLog& log)
{
    if (!(mode & kExplicitFilter))
        return Filter::Copy;
    switch (in.readU8()) {
    case 0:
        return Filter::Copy;
    case 1: {
        const size_t count = static_cast<size_t>(in.readU8()) + 1;
        if (count < 2)
            fail(log, "Tight encoding: error receiving palette.\n");
        m_palette.resize(count);
        for (uint32_t& c : m_palette)
            c = readTightColour(in, px);
        return Filter::Palette;
    }
    case 2:
        return Filter::Gradient;
    default:
        fail(log, "Tight encoding: unknown filter code received.\n");
    }
}

void TightDecoder::decodeBasic(rdr::InStream& in, const RectHeader& h, DecodeTarget& t, const TightPixels& px,
                               uint8_t mode)
{
    const Filter filter = readFilter(in, mode, px, t.log);
    const size_t bits = filter == Filter::Palette ? (m_palette.size() == 2 ? 1 : 8) : px.bytes() * 8;
    const size_t rowBytes = (static_cast<size_t>(h.w) * bits + 7) / 8;
    const size_t size = rowBytes * static_cast<size_t>(h.h);
    m_data.reserve(size, t.log);
    if (size < kMinCompressed) {
        in.readBytes(m_data.data(), size);
    } else {
        const size_t length = ReadCompactLength(in);
        if (length == 0)
            fail(t.log, "Tight encoding: bad data received from server.\n");
        if (length > 2 * std::max(size, RawSize(h.w, h.h, t.colours.bytesPerPixel())) + kCompressedSlack)
            throw DecodeError("Tight encoding: compressed length above the limit for its rectangle");
        in.readBytes(m_compressed.reserve(length, t.log), length);
        m_streams[mode & 3].inflateExact(m_compressed.data(), length, m_data.data(), size, t.log,
                                         "Tight encoding: wrong number of scan lines.\n");
    }
    m_colours.resize(static_cast<size_t>(h.w) * static_cast<size_t>(h.h));
    switch (filter) {
    case Filter::Copy:
        TightCopy(px, m_data.data(), m_colours.size(), m_colours.data());
        break;
    case Filter::Palette:
        TightPalette(m_palette, m_data.data(), h.w, h.h, m_colours.data());
        break;
    case Filter::Gradient:
        m_gradient.run(px, m_data.data(), h.w, h.h, m_colours.data());
        break;
    }
    t.fb.draw().put(h.x, h.y, h.w, h.h, m_colours.data());
}

} // namespace decode
