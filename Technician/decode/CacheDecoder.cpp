#include "Technician/decode/CacheDecoder.h"

#include "Technician/decode/ByteSpan.h"
#include "Technician/decode/Limits.h"

#include <zlib.h>

#include <climits>

namespace decode {

RectResult CacheDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    in.readU16();
    t.fb.draw().swapWithCache(h.rect());
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

RectResult CacheZipDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const size_t count = static_cast<size_t>(h.x);
    const size_t size = count * 8;
    const size_t length = ReadCompressedLength(in, size, "CacheZip");
    in.readBytes(m_compressed.reserve(length, t.log), length);
    m_areas.reserve(size, t.log);
    uLongf made = static_cast<uLongf>(size);
    if (length > ULONG_MAX || uncompress(m_areas.data(), &made, m_compressed.data(), static_cast<uLong>(length)) != Z_OK) {
        t.log.write(LogLevel::DebugError, "CacheZip: zlib data does not uncompress\n");
        return RectResult::Abandoned;
    }
    ByteSpan areas(m_areas.data(), made);
    for (size_t i = 0; i < count && areas.left() >= 8; ++i) {
        const int x = areas.u16(), y = areas.u16(), w = areas.u16(), ah = areas.u16();
        const rfb::Rect area(x, y, x + w, y + ah);
        t.fb.draw().swapWithCache(area);
        t.noteChanged(area);
    }
    return RectResult::Drawn;
}

} // namespace decode
