#include "Technician/decode/UltraDecoder.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/Limits.h"
#include "Technician/decode/SubRectBatch.h"

#include <lzo/lzo1x.h>

namespace decode {

LzoBlock::LzoBlock()
{
    if (lzo_init() != LZO_E_OK)
        throw DecodeError("LZO library does not initialise");
}

bool LzoBlock::read(rdr::InStream& in, size_t size, const char* what, const DecodeLog& log)
{
    const size_t length = ReadCompressedLength(in, size, what);
    in.readBytes(m_in.reserve(length, log), length);
    m_out.reserve(size, log);
    lzo_uint made = size;
    const int rc = lzo1x_decompress_safe(m_in.data(), length, m_out.data(), &made, nullptr);
    return rc == LZO_E_OK && made == size;
}

RectResult UltraDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    if (!m_block.read(in, RawSize(h.w, h.h, t.colours.bytesPerPixel()), "Ultra", t.log)) {
        t.log.write(LogLevel::DebugError, "Ultra: LZO data does not decompress to the rectangle's pixels\n");
        return RectResult::Abandoned;
    }
    m_colours.resize(static_cast<size_t>(h.w) * static_cast<size_t>(h.h));
    t.colours.convert(m_block.data(), m_colours.size(), m_colours.data());
    t.fb.draw().put(h.x, h.y, h.w, h.h, m_colours.data());
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

RectResult UltraZipDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const SubRectBatch batch = SubRectBatch::FromHeader(h, t, "UltraZip");
    if (!m_block.read(in, batch.size, "UltraZip", t.log)) {
        t.log.write(LogLevel::DebugError, "UltraZip: LZO data does not decompress to the announced size\n");
        return RectResult::Abandoned;
    }
    const size_t bpp = t.colours.bytesPerPixel();
    ByteSpan data(m_block.data(), batch.size);
    for (size_t i = 0; i < batch.count; ++i) {
        SubRect sub;
        if (!SubRect::Read(data, t.fb.bounds(), sub))
            return RectResult::Drawn;
        if (sub.header.encoding != 0) {
            t.log.write(LogLevel::DebugError, "UltraZip: sub-rectangle of unknown encoding %d\n",
                        static_cast<int>(sub.header.encoding));
            return RectResult::Abandoned;
        }
        const size_t pixels = static_cast<size_t>(sub.header.w) * static_cast<size_t>(sub.header.h);
        const uint8_t* bytes = data.take(pixels * bpp);
        if (!bytes)
            return RectResult::Drawn;
        m_colours.resize(pixels);
        t.colours.convert(bytes, pixels, m_colours.data());
        t.fb.draw().put(sub.header.x, sub.header.y, sub.header.w, sub.header.h, m_colours.data());
        t.noteChanged(sub.header.rect());
    }
    return RectResult::Drawn;
}

} // namespace decode
