// The colour palette of one ZRLE tile: up to 127 colours, found through a
// 4096-slot open-addressed table. Insert refuses a colour once the palette
// is full, so the tile writer falls back to a palette-free sub-encoding.
#pragma once

#include <cstdint>
#include <cstring>

class ZrlePalette {
public:
    static constexpr int kMaxSize = 127;

    ZrlePalette() { reset(); }

    void reset()
    {
        m_size = 0;
        std::memset(m_index, 0xFF, sizeof m_index);
    }

    // False when the colour is new and the palette is already full.
    bool insert(uint32_t pixel)
    {
        unsigned slot = hash(pixel);
        while (m_index[slot] != kEmpty) {
            if (m_key[slot] == pixel)
                return true;
            slot = (slot + 1) & kMask;
        }
        if (m_size >= kMaxSize)
            return false;
        m_index[slot] = static_cast<uint8_t>(m_size);
        m_key[slot] = pixel;
        m_colours[m_size++] = pixel;
        return true;
    }

    // Index of a colour known to be in the palette.
    uint8_t lookup(uint32_t pixel) const
    {
        unsigned slot = hash(pixel);
        while (m_index[slot] != kEmpty && m_key[slot] != pixel)
            slot = (slot + 1) & kMask;
        return m_index[slot];
    }

    int size() const { return m_size; }
    uint32_t colour(int i) const { return m_colours[i]; }

private:
    static constexpr unsigned kSlots = 4096;
    static constexpr unsigned kMask = kSlots - 1;
    static constexpr uint8_t kEmpty = 255;

    static unsigned hash(uint32_t pixel) { return (pixel ^ (pixel >> 17)) & kMask; }

    uint32_t m_colours[kMaxSize];
    uint8_t m_index[kSlots];
    uint32_t m_key[kSlots];
    int m_size = 0;
};
