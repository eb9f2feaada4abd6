#include "Customer/tests/ViewerPixels.h"

#include "rfb/tests/TestFormats.h"

namespace testframes {

testrfb::Format ToTest(const rfb::PixelFormat& pf)
{
    testrfb::Format f;
    f.bpp = pf.bitsPerPixel;
    f.depth = pf.depth;
    f.bigEndian = pf.bigEndian;
    f.trueColour = pf.trueColour;
    f.redMax = pf.redMax;
    f.greenMax = pf.greenMax;
    f.blueMax = pf.blueMax;
    f.redShift = pf.redShift;
    f.greenShift = pf.greenShift;
    f.blueShift = pf.blueShift;
    return f;
}

uint32_t Expected(uint32_t p, const rfb::PixelFormat& in, const rfb::PixelFormat& viewer)
{
    rfb::PixelFormat out = viewer;
    if (!viewer.trueColour)
        out = testformats::Make(8, 8, false, true, 7, 7, 3, 0, 3, 6);
    auto ch = [](uint32_t v, unsigned inMax, unsigned outMax) { return (v * outMax + inMax / 2) / inMax; };
    const uint32_t r = ch((p >> in.redShift) & in.redMax, in.redMax, out.redMax);
    const uint32_t g = ch((p >> in.greenShift) & in.greenMax, in.greenMax, out.greenMax);
    const uint32_t b = ch((p >> in.blueShift) & in.blueMax, in.blueMax, out.blueMax);
    return r << out.redShift | g << out.greenShift | b << out.blueShift;
}

} // namespace testframes
