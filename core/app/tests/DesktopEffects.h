#pragma once
// The six desktop effects the program switches off, read and set through
// Wine's SystemParametersInfo the way the user's own settings would be.
#include <windows.h>

#include <array>

using Effects = std::array<int, 6>;

// Get and set codes in the program's row order: menu fade, menu animation,
// cursor shadow, drop shadow, tooltip animation, tooltip fade.
constexpr UINT kEffectCodes[6][2] = {
    {SPI_GETMENUFADE, SPI_SETMENUFADE},
    {SPI_GETMENUANIMATION, SPI_SETMENUANIMATION},
    {SPI_GETCURSORSHADOW, SPI_SETCURSORSHADOW},
    {SPI_GETDROPSHADOW, SPI_SETDROPSHADOW},
    {SPI_GETTOOLTIPANIMATION, SPI_SETTOOLTIPANIMATION},
    {SPI_GETTOOLTIPFADE, SPI_SETTOOLTIPFADE},
};

inline Effects ReadEffects()
{
    Effects e{};
    for (size_t i = 0; i < e.size(); ++i) {
        BOOL v = FALSE;
        SystemParametersInfoA(kEffectCodes[i][0], 0, &v, 0);
        e[i] = v ? 1 : 0;
    }
    return e;
}

// The user's choice, set without a broadcast.
inline void SetEffects(const Effects& e)
{
    for (size_t i = 0; i < e.size(); ++i)
        SystemParametersInfoA(kEffectCodes[i][1], 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(e[i])), 0);
}

// Patterns of user settings that tell a restored value from a default one.
constexpr Effects kUserPatterns[] = {
    {1, 1, 1, 1, 1, 1},
    {1, 0, 1, 0, 1, 0},
    {0, 1, 0, 1, 0, 1},
};
