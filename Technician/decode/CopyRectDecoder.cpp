#include "Technician/decode/CopyRectDecoder.h"

namespace decode {

RectResult CopyRectDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const int sx = in.readU16();
    const int sy = in.readU16();
    const rfb::Rect dest = h.rect();
    const rfb::Rect src(sx, sy, sx + h.w, sy + h.h);
    if (dest.is_empty() || !dest.enclosed_by(t.fb.bounds()) || !src.enclosed_by(t.fb.bounds()))
        return RectResult::Drawn;
    t.fb.draw().copy(dest, rfb::Point(sx, sy));
    t.noteChanged(dest);
    return RectResult::Drawn;
}

} // namespace decode
