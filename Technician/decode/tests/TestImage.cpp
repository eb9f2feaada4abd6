#include "Technician/decode/tests/TestImage.h"

#include "Customer/tests/TestFrames.h"
#include "Customer/tests/ViewerPixels.h"
#include "rfb/tests/TestFormats.h"

#include <stdexcept>

namespace testdecode {

using testformats::Make;

const std::vector<ClientFormat>& ClientFormats()
{
    static const std::vector<ClientFormat> formats = {
        // The viewer's rows: server format (the host's 32-bit one), the
        // 16-bit row with red low, and the 8-bit rows.
        {"host32", Make(32, 24, false, true, 255, 255, 255, 16, 8, 0)},
        {"viewer16", Make(16, 16, false, true, 63, 31, 31, 0, 6, 11)},
        {"bgr233", Make(8, 8, false, true, 7, 7, 3, 0, 3, 6)},
        {"rgb222", Make(8, 6, false, true, 3, 3, 3, 4, 2, 0)},
        {"rgb111", Make(8, 3, false, true, 1, 1, 1, 2, 1, 0)},
        // The viewer's 32-bit row: three overlapping 7-bit channels at bit 1.
        {"viewer32grey", Make(32, 0, false, true, 127, 127, 127, 1, 1, 1)},
        // The host's 16-bit format and formats of other viewers.
        {"rgb565", Make(16, 16, false, true, 31, 63, 31, 11, 5, 0)},
        {"rgb565be", Make(16, 16, true, true, 31, 63, 31, 11, 5, 0)},
        {"rgb888high", Make(32, 24, false, true, 255, 255, 255, 24, 16, 8)},
        {"rgb888be", Make(32, 24, true, true, 255, 255, 255, 16, 8, 0)},
        {"bgr888", Make(32, 24, false, true, 255, 255, 255, 0, 8, 16)},
        {"rgb101010", Make(32, 32, false, true, 1023, 1023, 1023, 20, 10, 0)},
    };
    return formats;
}

const ClientFormat& FormatNamed(const std::string& name)
{
    for (const ClientFormat& f : ClientFormats())
        if (name == f.name)
            return f;
    throw std::invalid_argument("no test format " + name);
}

namespace {

ClientImage fromFrame(const testframes::Frame& f, const rfb::PixelFormat& pf)
{
    ClientImage img{pf, f.width, f.height, {}};
    img.px.resize(static_cast<size_t>(f.width) * static_cast<size_t>(f.height));
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            img.at(x, y) = testframes::Expected(f.pixel(x, y), f.format, pf);
    return img;
}

} // namespace

ClientImage DesktopImage(const rfb::PixelFormat& pf, int w, int h, unsigned seed)
{
    return fromFrame(testframes::Desktop(testframes::Host32(), w, h, seed), pf);
}

ClientImage PhotoImage(const rfb::PixelFormat& pf, int w, int h, unsigned seed)
{
    return fromFrame(testframes::Photo(testframes::Host32(), w, h, seed), pf);
}

uint32_t PixelOf(const rfb::PixelFormat& pf, unsigned r, unsigned g, unsigned b)
{
    return testframes::Expected(r << 16 | g << 8 | b, testframes::Host32(), pf);
}

uint32_t Rule1(uint32_t p, const rfb::PixelFormat& pf)
{
    const uint32_t r = ((p >> pf.redShift) & pf.redMax) * 255 / pf.redMax;
    const uint32_t g = ((p >> pf.greenShift) & pf.greenMax) * 255 / pf.greenMax;
    const uint32_t b = ((p >> pf.blueShift) & pf.blueMax) * 255 / pf.blueMax;
    return r << 16 | g << 8 | b;
}

void PutU8(Bytes& b, unsigned v)
{
    b.push_back(static_cast<uint8_t>(v));
}

void PutU16(Bytes& b, unsigned v)
{
    PutU8(b, v >> 8);
    PutU8(b, v);
}

void PutU32(Bytes& b, uint32_t v)
{
    PutU16(b, v >> 16);
    PutU16(b, v & 0xFFFF);
}

void PutPixel(Bytes& b, const rfb::PixelFormat& pf, uint32_t v)
{
    const int n = pf.bitsPerPixel / 8;
    for (int i = 0; i < n; ++i)
        PutU8(b, v >> (8 * (pf.bigEndian ? n - 1 - i : i)));
}

void PutHeader(Bytes& b, int x, int y, int w, int h, int32_t encoding)
{
    PutU16(b, static_cast<unsigned>(x));
    PutU16(b, static_cast<unsigned>(y));
    PutU16(b, static_cast<unsigned>(w));
    PutU16(b, static_cast<unsigned>(h));
    PutU32(b, static_cast<uint32_t>(encoding));
}

void Append(Bytes& b, const Bytes& more)
{
    b.insert(b.end(), more.begin(), more.end());
}

} // namespace testdecode
