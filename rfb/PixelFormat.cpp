#include "rfb/PixelFormat.h"

namespace rfb {

namespace {

int bitsIn(unsigned max)
{
    int bits = 0;
    while (max) {
        ++bits;
        max >>= 1;
    }
    return bits;
}

bool channelFits(unsigned max, unsigned shift, unsigned bpp)
{
    return max > 0 && shift < bpp && bitsIn(max) + shift <= bpp;
}

} // namespace

bool PixelFormat::isValid() const
{
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 32)
        return false;
    if (!trueColour)
        return bitsPerPixel == 8;
    return channelFits(redMax, redShift, bitsPerPixel) && channelFits(greenMax, greenShift, bitsPerPixel) &&
           channelFits(blueMax, blueShift, bitsPerPixel);
}

bool PixelFormat::equals(const PixelFormat& o) const
{
    if (bitsPerPixel != o.bitsPerPixel || trueColour != o.trueColour)
        return false;
    if (bitsPerPixel > 8 && bigEndian != o.bigEndian)
        return false;
    if (!trueColour)
        return true;
    return redMax == o.redMax && greenMax == o.greenMax && blueMax == o.blueMax && redShift == o.redShift &&
           greenShift == o.greenShift && blueShift == o.blueShift;
}

PixelFormat BGR233Format()
{
    PixelFormat pf;
    pf.bitsPerPixel = 8;
    pf.depth = 8;
    pf.trueColour = true;
    pf.redMax = 7;
    pf.greenMax = 7;
    pf.blueMax = 3;
    pf.redShift = 0;
    pf.greenShift = 3;
    pf.blueShift = 6;
    return pf;
}

} // namespace rfb
