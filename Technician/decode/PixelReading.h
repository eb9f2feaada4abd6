// One pixel from a stream, as its colour.
#pragma once

#include "Technician/decode/PixelColours.h"
#include "rfb/InStream.h"

namespace decode {

inline uint32_t ReadColour(rdr::InStream& in, const PixelColours& colours)
{
    uint8_t bytes[4];
    in.readBytes(bytes, colours.bytesPerPixel());
    return colours.read(bytes);
}

} // namespace decode
