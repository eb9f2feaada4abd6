// The rectangle packing of the hooks library's "Update.DrawRect": left and
// top in wParam, right and bottom in lParam, each the low and high signed
// 16-bit halves, in virtual-screen coordinates (negative left of or above
// the primary display).
#pragma once

#include "rfb/Rect.h"

#include <cstdint>

inline rfb::Rect UnpackHookRect(uint64_t wParam, uint64_t lParam)
{
    auto low = [](uint64_t v) { return static_cast<int>(static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF))); };
    auto high = [](uint64_t v) {
        return static_cast<int>(static_cast<int16_t>(static_cast<uint16_t>((v >> 16) & 0xFFFF)));
    };
    return rfb::Rect(low(wParam), high(wParam), low(lParam), high(lParam));
}

inline uint64_t PackHookPair(int low, int high)
{
    return static_cast<uint64_t>(static_cast<uint16_t>(low)) |
           static_cast<uint64_t>(static_cast<uint16_t>(high)) << 16;
}
