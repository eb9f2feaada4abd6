#include "rfb/ZrleCompactPixel.h"

#include <cstdint>

ZrleCPixel ZrleCompactPixelRule(const rfb::PixelFormat& pf)
{
    if (pf.bitsPerPixel != 32)
        return ZrleCPixel::Full;
    const uint64_t limit = uint64_t(1) << 24;
    const bool fitsLow = (uint64_t(pf.redMax) << pf.redShift) < limit &&
                         (uint64_t(pf.greenMax) << pf.greenShift) < limit &&
                         (uint64_t(pf.blueMax) << pf.blueShift) < limit;
    const bool fitsHigh = pf.redShift > 7 && pf.greenShift > 7 && pf.blueShift > 7;
    if ((fitsLow && !pf.bigEndian) || (fitsHigh && pf.bigEndian))
        return ZrleCPixel::Low3;
    if ((fitsLow && pf.bigEndian) || (fitsHigh && !pf.bigEndian))
        return ZrleCPixel::High3;
    return ZrleCPixel::Full;
}
