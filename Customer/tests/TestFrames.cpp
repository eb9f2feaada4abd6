#include "Customer/tests/TestFrames.h"

#include <cmath>
#include <cstring>

namespace testframes {

namespace {

struct Rng {
    uint32_t s;
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

void fillRect(Frame& f, int x0, int y0, int w, int h, uint32_t v)
{
    for (int y = y0; y < y0 + h && y < f.height; ++y)
        for (int x = x0; x < x0 + w && x < f.width; ++x)
            if (x >= 0 && y >= 0)
                f.setPixel(x, y, v);
}

uint32_t glyphBits(unsigned i)
{
    Rng r{i * 7919u + 13};
    return r.next();
}

const uint32_t kGlyphs[64] = {
#define G8(n) glyphBits(n), glyphBits(n + 1), glyphBits(n + 2), glyphBits(n + 3), glyphBits(n + 4), glyphBits(n + 5), \
              glyphBits(n + 6), glyphBits(n + 7)
    G8(0), G8(8), G8(16), G8(24), G8(32), G8(40), G8(48), G8(56)
#undef G8
};

} // namespace

rfb::PixelFormat Host32()
{
    return testformats::TrueColour(32, 255, 255, 255, 16, 8, 0);
}

rfb::PixelFormat Host16()
{
    return testformats::TrueColour(16, 31, 63, 31, 11, 5, 0);
}

uint32_t Frame::pixel(int x, int y) const
{
    const size_t bpp = static_cast<size_t>(format.bitsPerPixel / 8);
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bpp, bpp);
    return v;
}

void Frame::setPixel(int x, int y, uint32_t v)
{
    const size_t bpp = static_cast<size_t>(format.bitsPerPixel / 8);
    std::memcpy(bytes.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bpp, &v, bpp);
}

uint32_t Pack(const rfb::PixelFormat& pf, unsigned r, unsigned g, unsigned b)
{
    if (!pf.trueColour)
        return (r >> 5) | ((g >> 5) << 3) | ((b >> 6) << 6);
    return (r * pf.redMax / 255) << pf.redShift | (g * pf.greenMax / 255) << pf.greenShift |
           (b * pf.blueMax / 255) << pf.blueShift;
}

Frame MakeFrame(const rfb::PixelFormat& pf, int width, int height)
{
    Frame f;
    f.format = pf;
    f.width = width;
    f.height = height;
    f.stride = static_cast<size_t>(width) * static_cast<size_t>(pf.bitsPerPixel / 8);
    f.bytes.assign(f.stride * static_cast<size_t>(height), 0);
    return f;
}

Frame Desktop(const rfb::PixelFormat& pf, int width, int height, unsigned seed)
{
    Frame f = MakeFrame(pf, width, height);
    Rng rng{seed * 2654435761u + 1};
    fillRect(f, 0, 0, width, height, Pack(pf, 58, 110, 165));
    // A taskbar with buttons.
    fillRect(f, 0, height - 30, width, 30, Pack(pf, 32, 32, 40));
    for (int x = 4; x < width - 80; x += 160)
        fillRect(f, x, height - 26, 150, 22, Pack(pf, 70, 70, 90));
    // Windows with title bars, white client areas and lines of text.
    for (int w = 0; w < 6; ++w) {
        const int wx = static_cast<int>(rng.next() % static_cast<unsigned>(width / 2 + 1));
        const int wy = static_cast<int>(rng.next() % static_cast<unsigned>(height / 2 + 1));
        const int ww = width / 3 + static_cast<int>(rng.next() % static_cast<unsigned>(width / 4 + 1));
        const int wh = height / 3 + static_cast<int>(rng.next() % static_cast<unsigned>(height / 4 + 1));
        fillRect(f, wx, wy, ww, wh, Pack(pf, 200, 200, 200));
        fillRect(f, wx + 1, wy + 1, ww - 2, 22, Pack(pf, 0, 84, 166));
        fillRect(f, wx + 4, wy + 26, ww - 8, wh - 30, Pack(pf, 255, 255, 255));
        for (int ly = wy + 32; ly + 10 < wy + wh - 6 && ly < height; ly += 16) {
            int lx = wx + 8;
            const int lineEnd = wx + ww - 20 - static_cast<int>(rng.next() % 200);
            while (lx < lineEnd && lx < width) {
                const int wordLen = 3 + static_cast<int>(rng.next() % 8);
                for (int c = 0; c < wordLen && lx < lineEnd; ++c, lx += 7) {
                    // Text repeats the glyphs of one small font.
                    const uint32_t glyph = kGlyphs[rng.next() % 64];
                    for (int gy = 0; gy < 9; ++gy)
                        for (int gx = 0; gx < 5; ++gx)
                            if ((glyph >> ((gy * 5 + gx) % 31)) & 1)
                                fillRect(f, lx + gx, ly + gy, 1, 1, Pack(pf, 20, 20, 20));
                }
                lx += 6;
            }
        }
    }
    // Icons: small pictures with many colours.
    for (int i = 0; i < 8; ++i)
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (20 + x < width && 40 + i * 48 + y < height)
                    f.setPixel(20 + x, 40 + i * 48 + y,
                               Pack(pf, static_cast<unsigned>(x * 8), static_cast<unsigned>(y * 8),
                                    static_cast<unsigned>((i * 37 + x * y) & 255)));
    // A gradient panel.
    const int gw = width / 10 + 1, gh = height / 10 + 1;
    for (int y = 0; y < gh && y + 10 < height; ++y)
        for (int x = 0; x < gw && x + 10 < width; ++x)
            f.setPixel(x + 10, y + 10,
                       Pack(pf, static_cast<unsigned>(x * 255 / gw), static_cast<unsigned>(y * 255 / gh), 128));
    return f;
}

Frame Photo(const rfb::PixelFormat& pf, int width, int height, unsigned seed)
{
    Frame f = MakeFrame(pf, width, height);
    Rng rng{seed * 40503u + 7};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
            const int noise = static_cast<int>(rng.next() % 17) - 8;
            auto clamp = [](int v) { return static_cast<unsigned>(v < 0 ? 0 : v > 255 ? 255 : v); };
            const int r = static_cast<int>(128 + 100 * std::sin(fx * 7.0 + fy * 3.0)) + noise;
            const int g = static_cast<int>(120 + 90 * std::cos(fx * 4.0 - fy * 5.0)) + noise;
            const int b = static_cast<int>(110 + 80 * std::sin(fy * 9.0 + 1.0)) + noise;
            f.setPixel(x, y, Pack(pf, clamp(r), clamp(g), clamp(b)));
        }
    }
    return f;
}

FrameView View(const Frame& f)
{
    FrameView v;
    v.data = f.bytes.data();
    v.size = f.bytes.size();
    v.stride = f.stride;
    v.width = f.width;
    v.height = f.height;
    return v;
}

} // namespace testframes
