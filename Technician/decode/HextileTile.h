// One 16 x 16 Hextile tile: read whole (without the framebuffer lock), then
// drawn. Background and foreground carry over from tile to tile within one
// rectangle and start at 0 for each; a coloured sub-rectangle's colour
// becomes the foreground. Sub-rectangles are clipped to their tile. ZlibHex
// reads the same tile bodies from its inflated data.
#pragma once

#include "Technician/decode/Framebuffer.h"
#include "Technician/decode/PixelColours.h"
#include "rfb/InStream.h"

#include <algorithm>
#include <cstdint>

namespace decode {

namespace hextile {
constexpr uint8_t kRaw = 1;
constexpr uint8_t kBackgroundSpecified = 2;
constexpr uint8_t kForegroundSpecified = 4;
constexpr uint8_t kAnySubrects = 8;
constexpr uint8_t kSubrectsColoured = 16;
constexpr int kTileSize = 16;

// Calls tile(x, y, w, h) for each tile of the rectangle in wire order: rows
// of tiles top to bottom, each left to right; edge tiles are cut short.
template <typename Tile>
void ForEachTile(int x, int y, int w, int h, Tile tile)
{
    for (int ty = y; ty < y + h; ty += kTileSize) {
        const int th = std::min(kTileSize, y + h - ty);
        for (int tx = x; tx < x + w; tx += kTileSize)
            tile(tx, ty, std::min(kTileSize, x + w - tx), th);
    }
}
} // namespace hextile

struct HextileColours {
    uint32_t background = 0;
    uint32_t foreground = 0;
};

class HextileTile {
public:
    // The tile at (x, y), tw x th pixels, that the next body belongs to.
    void start(int x, int y, int tw, int th);
    // The raw bit's body: tw x th pixels.
    void readRaw(rdr::InStream& in, const PixelColours& colours);
    // Everything after the sub-encoding byte of a tile without the raw bit.
    void readBody(rdr::InStream& in, uint8_t subencoding, const PixelColours& colours, HextileColours& state);
    void draw(Framebuffer::Canvas& canvas) const;

private:
    struct Subrect {
        uint32_t colour;
        rfb::Rect area;
    };

    int m_x = 0, m_y = 0, m_w = 0, m_h = 0;
    bool m_raw = false;
    uint32_t m_background = 0;
    int m_subrects = 0;
    uint32_t m_pixels[hextile::kTileSize * hextile::kTileSize];
    Subrect m_sub[255];
};

} // namespace decode
