#include "rfb/tests/TestFormats.h"

namespace testformats {

rfb::PixelFormat Make(int bpp, int depth, bool bigEndian, bool trueColour, unsigned redMax, unsigned greenMax,
                      unsigned blueMax, unsigned redShift, unsigned greenShift, unsigned blueShift)
{
    rfb::PixelFormat pf;
    pf.bitsPerPixel = static_cast<uint8_t>(bpp);
    pf.depth = static_cast<uint8_t>(depth);
    pf.bigEndian = bigEndian;
    pf.trueColour = trueColour;
    pf.redMax = static_cast<uint16_t>(redMax);
    pf.greenMax = static_cast<uint16_t>(greenMax);
    pf.blueMax = static_cast<uint16_t>(blueMax);
    pf.redShift = static_cast<uint8_t>(redShift);
    pf.greenShift = static_cast<uint8_t>(greenShift);
    pf.blueShift = static_cast<uint8_t>(blueShift);
    return pf;
}

rfb::PixelFormat TrueColour(int bpp, unsigned redMax, unsigned greenMax, unsigned blueMax, unsigned redShift,
                            unsigned greenShift, unsigned blueShift, bool bigEndian)
{
    return Make(bpp, bpp == 32 ? 24 : bpp, bigEndian, true, redMax, greenMax, blueMax, redShift, greenShift,
                blueShift);
}

rfb::PixelFormat Palette8()
{
    return Make(8, 8, false, false, 0, 0, 0, 0, 0, 0);
}

} // namespace testformats
