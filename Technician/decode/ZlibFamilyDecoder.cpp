#include "Technician/decode/ZlibFamilyDecoder.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/Limits.h"

namespace decode {

size_t ZlibFamilyDecoder::readAndInflate(rdr::InStream& in, size_t rawSize, size_t capacity, const DecodeLog& log)
{
    const size_t length = ReadCompressedLength(in, rawSize, "zlib");
    in.readBytes(m_compressed.reserve(length, log), length);
    return m_stream.inflate(m_compressed.data(), length, m_inflated.reserve(capacity, log), capacity, log);
}

RectResult ZlibFamilyDecoder::decodePlain(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const size_t size = RawSize(h.w, h.h, t.colours.bytesPerPixel());
    if (readAndInflate(in, size, size, t.log) != size)
        throw DecodeError("zlib: inflated data shorter than the rectangle needs");
    m_colours.resize(static_cast<size_t>(h.w) * static_cast<size_t>(h.h));
    t.colours.convert(m_inflated.data(), m_colours.size(), m_colours.data());
    t.fb.draw().put(h.x, h.y, h.w, h.h, m_colours.data());
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

RectResult ZlibFamilyDecoder::decodeMasked(rdr::InStream& in, const RectHeader& h, DecodeTarget& t, MaskMode mode)
{
    const size_t bpp = t.colours.bytesPerPixel();
    const size_t pixels = static_cast<size_t>(h.w) * static_cast<size_t>(h.h);
    const size_t capacity = MaskSize(h.w, h.h) + (pixels + 2) * bpp;
    const size_t made = readAndInflate(in, capacity, capacity, t.log);
    if (made != MaskedPixels::DataSize(mode, m_inflated.data(), made, h.w, h.h, bpp))
        throw DecodeError("zlib: inflated mask and pixels do not match the rectangle");
    m_masked.prepare(mode, h.rect(), m_inflated.data(), t.colours);
    Framebuffer::Canvas canvas = t.fb.draw();
    m_masked.draw(canvas);
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

} // namespace decode
