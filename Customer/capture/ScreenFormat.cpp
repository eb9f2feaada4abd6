#include "Customer/capture/ScreenFormat.h"

int CaptureBitCount(int bitCount)
{
    if (bitCount == 1 || bitCount == 4)
        return 8;
    if (bitCount == 24)
        return 32;
    return bitCount;
}

namespace {

bool channel(uint32_t mask, uint16_t* max, uint8_t* shift)
{
    if (mask == 0)
        return false;
    uint8_t s = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++s;
    }
    // Contiguous: mask + 1 is a power of two.
    if ((mask & (mask + 1)) != 0 || mask > 0xFFFF)
        return false;
    *max = static_cast<uint16_t>(mask);
    *shift = s;
    return true;
}

} // namespace

bool SetPixShifts(rfb::PixelFormat& pf, uint32_t redMask, uint32_t greenMask, uint32_t blueMask)
{
    rfb::PixelFormat out = pf;
    if (!channel(redMask, &out.redMax, &out.redShift) || !channel(greenMask, &out.greenMax, &out.greenShift) ||
        !channel(blueMask, &out.blueMax, &out.blueShift))
        return false;
    pf = out;
    return true;
}

bool DefaultRgbMasks(int bitsPerPixel, uint32_t* red, uint32_t* green, uint32_t* blue)
{
    if (bitsPerPixel == 16) {
        *red = 0x7C00;
        *green = 0x03E0;
        *blue = 0x001F;
        return true;
    }
    if (bitsPerPixel == 32) {
        *red = 0xFF0000;
        *green = 0x00FF00;
        *blue = 0x0000FF;
        return true;
    }
    return false;
}

int ClassifyServerOsClass(unsigned platformId, unsigned major, unsigned minor)
{
    constexpr unsigned kNt = 2, k9x = 1;
    if (platformId == kNt) {
        if (major <= 4)
            return 3;
        return major == 5 ? 1 : 2;
    }
    if (platformId == k9x)
        return minor == 0 ? 5 : 4;
    return 4;
}
