#include "Technician/connection/CursorShape.h"

namespace viewer {

size_t CursorDataSize(bool rich, int w, int h, size_t bytesPerPixel)
{
    if (w <= 0 || h <= 0)
        return 0;
    const size_t row = (static_cast<size_t>(w) + 7) / 8;
    const size_t mask = row * static_cast<size_t>(h);
    if (rich)
        return static_cast<size_t>(w) * static_cast<size_t>(h) * bytesPerPixel + mask;
    return 6 + 2 * mask;
}

namespace {

std::vector<uint8_t> ReadBits(rdr::InStream& in, int w, int h)
{
    const size_t row = (static_cast<size_t>(w) + 7) / 8;
    std::vector<uint8_t> packed(row * static_cast<size_t>(h));
    in.readBytes(packed.data(), packed.size());
    std::vector<uint8_t> bits(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bits[static_cast<size_t>(y) * w + x] = (packed[y * row + x / 8] >> (7 - x % 8)) & 1;
    return bits;
}

} // namespace

bool ReadCursorShape(rdr::InStream& in, bool rich, int w, int h, int hotX, int hotY,
                     const decode::PixelColours& colours, CursorShape& out)
{
    out = CursorShape();
    if (w == 0 || h == 0)
        return true;
    if (w > kMaxCursorSide || h > kMaxCursorSide) {
        in.skip(CursorDataSize(rich, w, h, colours.bytesPerPixel()));
        return false;
    }
    CursorShape s;
    s.width = w;
    s.height = h;
    s.hotX = hotX;
    s.hotY = hotY;
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    s.colours.resize(n);
    if (rich) {
        std::vector<uint8_t> pixels(n * colours.bytesPerPixel());
        in.readBytes(pixels.data(), pixels.size());
        colours.convert(pixels.data(), n, s.colours.data());
    } else {
        uint8_t rgb[6];
        in.readBytes(rgb, sizeof rgb);
        const uint32_t fg = static_cast<uint32_t>(rgb[0]) << 16 | rgb[1] << 8 | rgb[2];
        const uint32_t bg = static_cast<uint32_t>(rgb[3]) << 16 | rgb[4] << 8 | rgb[5];
        const std::vector<uint8_t> source = ReadBits(in, w, h);
        for (size_t i = 0; i < n; ++i)
            s.colours[i] = source[i] ? fg : bg;
    }
    s.mask = ReadBits(in, w, h);
    out = std::move(s);
    return true;
}

} // namespace viewer
