// Pixel formats for the rfb and host tests, written out field by field so a
// test states the format it means without going through the code under test.
#pragma once

#include "rfb/PixelFormat.h"

namespace testformats {

// Every field as given.
rfb::PixelFormat Make(int bpp, int depth, bool bigEndian, bool trueColour, unsigned redMax, unsigned greenMax,
                      unsigned blueMax, unsigned redShift, unsigned greenShift, unsigned blueShift);
// True colour with depth 24 at 32 bits per pixel, else depth bpp.
rfb::PixelFormat TrueColour(int bpp, unsigned redMax, unsigned greenMax, unsigned blueMax, unsigned redShift,
                            unsigned greenShift, unsigned blueShift, bool bigEndian = false);
// 8 bits per pixel with a colour map.
rfb::PixelFormat Palette8();

} // namespace testformats
