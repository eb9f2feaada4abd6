#include "rfb/Translate.h"

#include <cstring>

namespace rfb {

namespace {

constexpr bool kNativeBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

template <class OutPixel>
OutPixel inViewerOrder(uint32_t v, const PixelFormat& out)
{
    if (sizeof(OutPixel) == 2 && out.bigEndian != kNativeBigEndian)
        v = ((v & 0xFF) << 8) | ((v >> 8) & 0xFF);
    else if (sizeof(OutPixel) == 4 && out.bigEndian != kNativeBigEndian)
        v = ((v & 0xFF) << 24) | ((v & 0xFF00) << 8) | ((v >> 8) & 0xFF00) | (v >> 24);
    return static_cast<OutPixel>(v);
}

// in scaled from 0..inMax to 0..outMax, rounded to nearest.
uint32_t scaleChannel(uint32_t in, uint32_t inMax, uint32_t outMax)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(in) * outMax + inMax / 2) / inMax);
}

template <class OutPixel>
bool outputUsable(const PixelFormat& out)
{
    return out.isValid() && out.trueColour && out.bitsPerPixel == sizeof(OutPixel) * 8;
}

bool trueColourInputUsable(const PixelFormat& in)
{
    return in.isValid() && in.trueColour && (in.bitsPerPixel == 8 || in.bigEndian == kNativeBigEndian);
}

template <class OutPixel>
void addChannelTable(std::vector<OutPixel>& table, unsigned inMax, unsigned outMax, unsigned outShift,
                     const PixelFormat& out)
{
    for (unsigned j = 0; j <= inMax; ++j)
        table.push_back(inViewerOrder<OutPixel>(scaleChannel(j, inMax, outMax) << outShift, out));
}

template <class InPixel, class OutPixel>
void translateSingle(const void* table, const PixelFormat&, const PixelFormat&, const uint8_t* inPtr,
                     uint8_t* outPtr, size_t inBytesBetweenLines, int width, int height)
{
    const OutPixel* t = static_cast<const OutPixel*>(table);
    for (int y = 0; y < height; ++y) {
        const uint8_t* ip = inPtr + static_cast<size_t>(y) * inBytesBetweenLines;
        for (int x = 0; x < width; ++x) {
            InPixel v;
            std::memcpy(&v, ip, sizeof v);
            ip += sizeof v;
            const OutPixel o = t[v];
            std::memcpy(outPtr, &o, sizeof o);
            outPtr += sizeof o;
        }
    }
}

template <class InPixel, class OutPixel>
void translateRGB(const void* table, const PixelFormat& in, const PixelFormat&, const uint8_t* inPtr,
                  uint8_t* outPtr, size_t inBytesBetweenLines, int width, int height)
{
    const OutPixel* red = static_cast<const OutPixel*>(table);
    const OutPixel* green = red + in.redMax + 1;
    const OutPixel* blue = green + in.greenMax + 1;
    const unsigned rs = in.redShift, gs = in.greenShift, bs = in.blueShift;
    const unsigned rm = in.redMax, gm = in.greenMax, bm = in.blueMax;
    for (int y = 0; y < height; ++y) {
        const uint8_t* ip = inPtr + static_cast<size_t>(y) * inBytesBetweenLines;
        for (int x = 0; x < width; ++x) {
            InPixel v;
            std::memcpy(&v, ip, sizeof v);
            ip += sizeof v;
            const uint32_t p = v;
            const OutPixel o = static_cast<OutPixel>(red[(p >> rs) & rm] | green[(p >> gs) & gm] | blue[(p >> bs) & bm]);
            std::memcpy(outPtr, &o, sizeof o);
            outPtr += sizeof o;
        }
    }
}

template <class InPixel, class OutPixel>
struct Single {
    static constexpr TranslateFn fn = translateSingle<InPixel, OutPixel>;
};
template <class InPixel, class OutPixel>
struct RGB {
    static constexpr TranslateFn fn = translateRGB<InPixel, OutPixel>;
};

template <template <class, class> class K, class InPixel>
TranslateFn pickOutput(int outBitsPerPixel)
{
    switch (outBitsPerPixel) {
    case 8:
        return K<InPixel, uint8_t>::fn;
    case 16:
        return K<InPixel, uint16_t>::fn;
    case 32:
        return K<InPixel, uint32_t>::fn;
    default:
        return nullptr;
    }
}

} // namespace

template <class OutPixel>
bool InitTrueColourSingleTable(std::vector<OutPixel>& table, const PixelFormat& in, const PixelFormat& out)
{
    table.clear();
    if (!trueColourInputUsable(in) || in.bitsPerPixel > 16 || !outputUsable<OutPixel>(out))
        return false;
    const uint32_t entries = 1u << in.bitsPerPixel;
    table.reserve(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t r = scaleChannel((i >> in.redShift) & in.redMax, in.redMax, out.redMax);
        const uint32_t g = scaleChannel((i >> in.greenShift) & in.greenMax, in.greenMax, out.greenMax);
        const uint32_t b = scaleChannel((i >> in.blueShift) & in.blueMax, in.blueMax, out.blueMax);
        table.push_back(inViewerOrder<OutPixel>(r << out.redShift | g << out.greenShift | b << out.blueShift, out));
    }
    return true;
}

template <class OutPixel>
bool InitTrueColourRGBTables(std::vector<OutPixel>& table, const PixelFormat& in, const PixelFormat& out)
{
    table.clear();
    if (!trueColourInputUsable(in) || !outputUsable<OutPixel>(out))
        return false;
    table.reserve(static_cast<size_t>(in.redMax) + in.greenMax + in.blueMax + 3);
    addChannelTable(table, in.redMax, out.redMax, out.redShift, out);
    addChannelTable(table, in.greenMax, out.greenMax, out.greenShift, out);
    addChannelTable(table, in.blueMax, out.blueMax, out.blueShift, out);
    return true;
}

template <class OutPixel>
bool InitColourMapSingleTable(std::vector<OutPixel>& table, const PixelFormat& out, const PaletteEntry* entries,
                              size_t count)
{
    table.clear();
    if (!outputUsable<OutPixel>(out))
        return false;
    table.reserve(256);
    for (size_t i = 0; i < 256; ++i) {
        PaletteEntry e;
        if (i < count) {
            e = entries[i];
        } else {
            e.red = (i & 1) ? 255 : 0;
            e.green = (i & 2) ? 255 : 0;
            e.blue = (i & 4) ? 255 : 0;
        }
        const uint32_t r = scaleChannel(e.red, 255, out.redMax);
        const uint32_t g = scaleChannel(e.green, 255, out.greenMax);
        const uint32_t b = scaleChannel(e.blue, 255, out.blueMax);
        table.push_back(inViewerOrder<OutPixel>(r << out.redShift | g << out.greenShift | b << out.blueShift, out));
    }
    return true;
}

template bool InitTrueColourSingleTable(std::vector<uint8_t>&, const PixelFormat&, const PixelFormat&);
template bool InitTrueColourSingleTable(std::vector<uint16_t>&, const PixelFormat&, const PixelFormat&);
template bool InitTrueColourSingleTable(std::vector<uint32_t>&, const PixelFormat&, const PixelFormat&);
template bool InitTrueColourRGBTables(std::vector<uint8_t>&, const PixelFormat&, const PixelFormat&);
template bool InitTrueColourRGBTables(std::vector<uint16_t>&, const PixelFormat&, const PixelFormat&);
template bool InitTrueColourRGBTables(std::vector<uint32_t>&, const PixelFormat&, const PixelFormat&);
template bool InitColourMapSingleTable(std::vector<uint8_t>&, const PixelFormat&, const PaletteEntry*, size_t);
template bool InitColourMapSingleTable(std::vector<uint16_t>&, const PixelFormat&, const PaletteEntry*, size_t);
template bool InitColourMapSingleTable(std::vector<uint32_t>&, const PixelFormat&, const PaletteEntry*, size_t);

TranslateFn SingleTableTranslator(int inBitsPerPixel, int outBitsPerPixel)
{
    switch (inBitsPerPixel) {
    case 8:
        return pickOutput<Single, uint8_t>(outBitsPerPixel);
    case 16:
        return pickOutput<Single, uint16_t>(outBitsPerPixel);
    default:
        return nullptr;
    }
}

TranslateFn RGBTablesTranslator(int inBitsPerPixel, int outBitsPerPixel)
{
    switch (inBitsPerPixel) {
    case 8:
        return pickOutput<RGB, uint8_t>(outBitsPerPixel);
    case 16:
        return pickOutput<RGB, uint16_t>(outBitsPerPixel);
    case 32:
        return pickOutput<RGB, uint32_t>(outBitsPerPixel);
    default:
        return nullptr;
    }
}

void TranslateNone(const void*, const PixelFormat& in, const PixelFormat&, const uint8_t* inPtr, uint8_t* outPtr,
                   size_t inBytesBetweenLines, int width, int height)
{
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(in.bytesPerPixel());
    for (int y = 0; y < height; ++y) {
        std::memcpy(outPtr, inPtr, rowBytes);
        inPtr += inBytesBetweenLines;
        outPtr += rowBytes;
    }
}

bool TranslateRect(TranslateFn fn, const void* table, const PixelFormat& in, const PixelFormat& out,
                   const uint8_t* inPtr, size_t inAvailable, size_t inBytesBetweenLines, uint8_t* outPtr,
                   size_t outAvailable, int width, int height)
{
    if (!fn || width < 0 || height < 0 || in.bytesPerPixel() == 0 || out.bytesPerPixel() == 0)
        return false;
    if (width == 0 || height == 0)
        return true;
    const uint64_t w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
    const uint64_t inRow = w * static_cast<uint64_t>(in.bytesPerPixel());
    const uint64_t outBytes = w * h * static_cast<uint64_t>(out.bytesPerPixel());
    if (inRow > inBytesBetweenLines && h > 1)
        return false;
    if (h > 1 && (h - 1) > inAvailable / inBytesBetweenLines)
        return false;
    if ((h - 1) * inBytesBetweenLines + inRow > inAvailable || outBytes > outAvailable)
        return false;
    fn(table, in, out, inPtr, outPtr, inBytesBetweenLines, width, height);
    return true;
}

} // namespace rfb
