#include "Technician/decode/SubRectBatch.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/Limits.h"

#include <cstdio>

namespace decode {

SubRectBatch SubRectBatch::FromHeader(const RectHeader& h, const DecodeTarget& t, const char* what)
{
    SubRectBatch b;
    b.count = static_cast<size_t>(h.x);
    b.size = static_cast<size_t>(h.w) * 65535 + static_cast<size_t>(h.y);
    const size_t cap = RawSize(t.fb.width(), t.fb.height(), t.colours.bytesPerPixel()) + 12 * b.count;
    if (b.size > cap) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: decompressed size %zu is above what the picture can need", what, b.size);
        throw DecodeError(text);
    }
    return b;
}

bool SubRect::Read(ByteSpan& data, const rfb::Rect& picture, SubRect& out)
{
    out.header.x = data.u16();
    out.header.y = data.u16();
    out.header.w = data.u16();
    out.header.h = data.u16();
    out.header.encoding = static_cast<int32_t>(data.u32());
    return data.ok() && out.header.rect().enclosed_by(picture);
}

} // namespace decode
