#include "Technician/decode/SolidColourDecoder.h"

#include "Technician/decode/PixelReading.h"

namespace decode {

RectResult SolidColourDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const uint32_t colour = ReadColour(in, t.colours);
    t.fb.draw().fill(h.rect(), colour);
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

} // namespace decode
