// SolidColor (0xFFFF0005): one pixel that fills the rectangle.
#pragma once

#include "Technician/decode/RectDecoder.h"

namespace decode {

class SolidColourDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;
};

} // namespace decode
