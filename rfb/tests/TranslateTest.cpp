// Pixel translation into every viewer format, pixel by pixel against a plain
// per-pixel reference; format validation; bounds of the rectangle copy.
#include "rfb/Translate.h"

#include "rfb/tests/TestFormats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using rfb::PaletteEntry;
using rfb::PixelFormat;
using testformats::Palette8;
using testformats::TrueColour;

std::string name(const PixelFormat& f)
{
    return std::to_string(f.bitsPerPixel) + (f.trueColour ? "tc" : "map") + (f.bigEndian ? "be" : "le") + "/" +
           std::to_string(f.redMax) + "," + std::to_string(f.greenMax) + "," + std::to_string(f.blueMax) + "/" +
           std::to_string(f.redShift) + "," + std::to_string(f.greenShift) + "," + std::to_string(f.blueShift);
}

// The reference: one pixel at a time, straight from the definitions.
uint32_t readNative(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    if (bytes == 1)
        v = p[0];
    else if (bytes == 2) {
        uint16_t s;
        std::memcpy(&s, p, 2);
        v = s;
    } else
        std::memcpy(&v, p, 4);
    return v;
}

void writeInOrder(uint8_t* p, uint32_t v, const PixelFormat& out)
{
    const int bytes = out.bytesPerPixel();
    for (int i = 0; i < bytes; ++i) {
        const int shift = out.bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
        p[i] = static_cast<uint8_t>(v >> shift);
    }
}

uint32_t scale(uint32_t v, uint32_t inMax, uint32_t outMax)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(v) * outMax + inMax / 2) / inMax);
}

std::vector<uint8_t> reference(const PixelFormat& in, const PixelFormat& out, const std::vector<PaletteEntry>& pal,
                               const uint8_t* src, size_t stride, int w, int h)
{
    std::vector<uint8_t> dst(static_cast<size_t>(w * h * out.bytesPerPixel()));
    uint8_t* o = dst.data();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t v = readNative(src + y * stride + x * in.bytesPerPixel(), in.bytesPerPixel());
            uint32_t r, g, b;
            if (in.trueColour) {
                r = scale((v >> in.redShift) & in.redMax, in.redMax, out.redMax);
                g = scale((v >> in.greenShift) & in.greenMax, in.greenMax, out.greenMax);
                b = scale((v >> in.blueShift) & in.blueMax, in.blueMax, out.blueMax);
            } else {
                PaletteEntry e;
                if (v < pal.size())
                    e = pal[v];
                else
                    e = PaletteEntry{uint8_t(v & 1 ? 255 : 0), uint8_t(v & 2 ? 255 : 0), uint8_t(v & 4 ? 255 : 0)};
                r = (e.red * out.redMax + 127u) / 255u;
                g = (e.green * out.greenMax + 127u) / 255u;
                b = (e.blue * out.blueMax + 127u) / 255u;
            }
            writeInOrder(o, r << out.redShift | g << out.greenShift | b << out.blueShift, out);
            o += out.bytesPerPixel();
        }
    return dst;
}

template <class OUT>
std::vector<uint8_t> viaTables(bool single, const PixelFormat& in, const PixelFormat& out,
                               const std::vector<PaletteEntry>& pal, const std::vector<uint8_t>& src, size_t stride,
                               int w, int h)
{
    std::vector<OUT> table;
    bool built;
    rfb::TranslateFn fn;
    if (!in.trueColour) {
        built = rfb::InitColourMapSingleTable(table, out, pal.data(), pal.size());
        fn = rfb::SingleTableTranslator(8, out.bitsPerPixel);
    } else if (single) {
        built = rfb::InitTrueColourSingleTable(table, in, out);
        fn = rfb::SingleTableTranslator(in.bitsPerPixel, out.bitsPerPixel);
    } else {
        built = rfb::InitTrueColourRGBTables(table, in, out);
        fn = rfb::RGBTablesTranslator(in.bitsPerPixel, out.bitsPerPixel);
    }
    EXPECT_TRUE(built);
    std::vector<uint8_t> dst(static_cast<size_t>(w * h * out.bytesPerPixel()), 0xEE);
    EXPECT_TRUE(rfb::TranslateRect(fn, table.data(), in, out, src.data(), src.size(), stride, dst.data(), dst.size(),
                                   w, h));
    return dst;
}

std::vector<uint8_t> translate(bool single, const PixelFormat& in, const PixelFormat& out,
                               const std::vector<PaletteEntry>& pal, const std::vector<uint8_t>& src, size_t stride,
                               int w, int h)
{
    switch (out.bitsPerPixel) {
    case 8:
        return viaTables<uint8_t>(single, in, out, pal, src, stride, w, h);
    case 16:
        return viaTables<uint16_t>(single, in, out, pal, src, stride, w, h);
    default:
        return viaTables<uint32_t>(single, in, out, pal, src, stride, w, h);
    }
}

TEST(Translate, EveryViewerFormatMatchesTheReference)
{
    const PixelFormat inputs[] = {
        TrueColour(32, 255, 255, 255, 16, 8, 0),
        TrueColour(16, 31, 63, 31, 11, 5, 0),
        TrueColour(16, 31, 31, 31, 10, 5, 0),
        TrueColour(8, 7, 7, 3, 5, 2, 0),
        Palette8(),
    };
    const PixelFormat outputs[] = {
        rfb::BGR233Format(),                             // for viewers that ask for a colour map
        TrueColour(8, 7, 7, 3, 5, 2, 0),
        TrueColour(8, 3, 3, 3, 4, 2, 0),
        TrueColour(16, 31, 63, 31, 11, 5, 0),
        TrueColour(16, 31, 63, 31, 11, 5, 0, true),
        TrueColour(16, 31, 31, 31, 10, 5, 0, true),
        TrueColour(32, 255, 255, 255, 16, 8, 0),
        TrueColour(32, 255, 255, 255, 16, 8, 0, true),
        TrueColour(32, 255, 255, 255, 0, 8, 16),
        TrueColour(32, 127, 127, 127, 1, 9, 17),
        TrueColour(32, 1023, 1023, 1023, 20, 10, 0, true),
    };
    std::vector<PaletteEntry> pal(100);
    std::mt19937 rng(99);
    for (auto& e : pal)
        e = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};

    const int w = 37, h = 23;
    for (const PixelFormat& in : inputs) {
        const size_t stride = static_cast<size_t>(w * in.bytesPerPixel() + 5);
        std::vector<uint8_t> src(stride * (h - 1) + static_cast<size_t>(w * in.bytesPerPixel()));
        for (auto& b : src)
            b = static_cast<uint8_t>(rng());
        for (const PixelFormat& out : outputs) {
            const auto want = reference(in, out, pal, src.data(), stride, w, h);
            EXPECT_EQ(translate(false, in, out, pal, src, stride, w, h), want) << name(in) << " -> " << name(out);
            if (in.bitsPerPixel <= 16) {
                EXPECT_EQ(translate(true, in, out, pal, src, stride, w, h), want)
                    << "single table " << name(in) << " -> " << name(out);
            }
        }
    }
}

TEST(Translate, KnownValues)
{
    std::vector<uint8_t> t8;
    ASSERT_TRUE(rfb::InitTrueColourSingleTable(t8, TrueColour(16, 31, 63, 31, 11, 5, 0),
                                               TrueColour(8, 7, 7, 3, 0, 3, 6)));
    EXPECT_EQ(t8[31u << 11], 7);
    EXPECT_EQ(t8[16u << 11], 4);

    std::vector<uint16_t> t16;
    const PixelFormat in32 = TrueColour(32, 255, 255, 255, 16, 8, 0);
    ASSERT_TRUE(rfb::InitTrueColourRGBTables(t16, in32, TrueColour(16, 31, 63, 31, 11, 5, 0)));
    const uint32_t pixel = 0x00FF8000;
    uint16_t out = 0;
    ASSERT_TRUE(rfb::TranslateRect(rfb::RGBTablesTranslator(32, 16), t16.data(), in32,
                                   TrueColour(16, 31, 63, 31, 11, 5, 0), reinterpret_cast<const uint8_t*>(&pixel), 4,
                                   4, reinterpret_cast<uint8_t*>(&out), 2, 1, 1));
    EXPECT_EQ(out, 31u << 11 | 32u << 5);

    std::vector<uint16_t> le, be;
    const PixelFormat in16 = TrueColour(16, 31, 63, 31, 11, 5, 0);
    ASSERT_TRUE(rfb::InitTrueColourSingleTable(le, in16, TrueColour(16, 31, 63, 31, 11, 5, 0)));
    ASSERT_TRUE(rfb::InitTrueColourSingleTable(be, in16, TrueColour(16, 31, 63, 31, 11, 5, 0, true)));
    EXPECT_EQ(le[0xF800], 0xF800);
    EXPECT_EQ(be[0xF800], 0x00F8);

    std::vector<uint32_t> map;
    const PaletteEntry few[3] = {};
    ASSERT_TRUE(rfb::InitColourMapSingleTable(map, TrueColour(32, 255, 255, 255, 16, 8, 0), few, 3));
    EXPECT_EQ(map[5], 0x00FF00FFu);
    EXPECT_EQ(map[2], 0u);
}

// A viewer's format goes into the tables only when it is sound: no zero
// maxima (division by zero), no channel outside the pixel (shifts of 32 and
// more), only 8, 16 and 32 bits, colour maps only at 8 bits.
TEST(Translate, UnsoundFormatsAreRefused)
{
    const PixelFormat good = TrueColour(32, 255, 255, 255, 16, 8, 0);
    const PixelFormat bad[] = {
        TrueColour(32, 0, 255, 255, 16, 8, 0),  TrueColour(16, 31, 63, 31, 11, 5, 32),
        TrueColour(16, 31, 63, 31, 12, 5, 0),   TrueColour(24, 255, 255, 255, 16, 8, 0),
        TrueColour(32, 255, 255, 255, 40, 8, 0), TrueColour(8, 7, 7, 3, 6, 3, 0),
        [] {
            PixelFormat p = Palette8();
            p.bitsPerPixel = 16;
            return p;
        }(),
    };
    for (const PixelFormat& f : bad) {
        EXPECT_FALSE(f.isValid()) << name(f);
        std::vector<uint32_t> t32;
        std::vector<uint16_t> t16;
        std::vector<uint8_t> t8;
        EXPECT_FALSE(rfb::InitTrueColourRGBTables(t32, good, f)) << name(f);
        EXPECT_FALSE(rfb::InitTrueColourRGBTables(t16, good, f)) << name(f);
        EXPECT_FALSE(rfb::InitTrueColourRGBTables(t8, good, f)) << name(f);
        EXPECT_FALSE(rfb::InitTrueColourRGBTables(t32, f, good)) << name(f);
        EXPECT_TRUE(t32.empty());
    }
    EXPECT_TRUE(good.isValid());
    EXPECT_TRUE(Palette8().isValid());
    std::vector<uint16_t> t16;
    EXPECT_FALSE(rfb::InitTrueColourSingleTable(t16, good, TrueColour(16, 31, 63, 31, 11, 5, 0)))
        << "no single table for 32-bit input";
    EXPECT_FALSE(rfb::InitTrueColourSingleTable(t16, good, good)) << "table size must match the output";
    EXPECT_EQ(rfb::SingleTableTranslator(32, 16), nullptr);
    EXPECT_EQ(rfb::RGBTablesTranslator(24, 16), nullptr);
}

TEST(Translate, EqualFormatsCopyRowsWithinTheBuffers)
{
    const PixelFormat pf = TrueColour(32, 255, 255, 255, 16, 8, 0);
    const int w = 5, h = 3;
    const size_t stride = 28;
    std::vector<uint8_t> src(stride * (h - 1) + w * 4);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> dst(w * h * 4, 0);
    ASSERT_TRUE(rfb::TranslateRect(rfb::TranslateNone, nullptr, pf, pf, src.data(), src.size(), stride, dst.data(),
                                   dst.size(), w, h));
    for (int y = 0; y < h; ++y)
        EXPECT_EQ(std::memcmp(dst.data() + y * w * 4, src.data() + y * stride, w * 4), 0);

    // A rectangle reaching past either buffer is refused before anything is
    // copied.
    std::vector<uint8_t> untouched(dst.size(), 0x77);
    EXPECT_FALSE(rfb::TranslateRect(rfb::TranslateNone, nullptr, pf, pf, src.data(), src.size() - 1, stride,
                                    untouched.data(), untouched.size(), w, h));
    EXPECT_FALSE(rfb::TranslateRect(rfb::TranslateNone, nullptr, pf, pf, src.data(), src.size(), stride,
                                    untouched.data(), untouched.size() - 1, w, h));
    EXPECT_FALSE(rfb::TranslateRect(rfb::TranslateNone, nullptr, pf, pf, src.data(), src.size(), SIZE_MAX / 2,
                                    untouched.data(), untouched.size(), w, h));
    EXPECT_FALSE(rfb::TranslateRect(rfb::TranslateNone, nullptr, pf, pf, src.data(), src.size(), stride,
                                    untouched.data(), untouched.size(), -1, h));
    EXPECT_EQ(untouched, std::vector<uint8_t>(dst.size(), 0x77));
}

} // namespace
