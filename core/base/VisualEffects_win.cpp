#include "core/base/VisualEffects.h"

#include <windows.h>

#include <atomic>

namespace {

// {get code, saved value, set code, value to apply}
UINT g_effects[kVisualEffectRows][4] = {
    {SPI_GETMENUFADE, 0, SPI_SETMENUFADE, 0},
    {SPI_GETMENUANIMATION, 0, SPI_SETMENUANIMATION, 0},
    {SPI_GETCURSORSHADOW, 0, SPI_SETCURSORSHADOW, 0},
    {SPI_GETDROPSHADOW, 0, SPI_SETDROPSHADOW, 0},
    {SPI_GETTOOLTIPANIMATION, 0, SPI_SETTOOLTIPANIMATION, 0},
    {SPI_GETTOOLTIPFADE, 0, SPI_SETTOOLTIPFADE, 0},
};
std::atomic<bool> g_saved{false};

} // namespace

void SaveVisualEffects()
{
    for (auto& row : g_effects) {
        BOOL value = FALSE;
        if (SystemParametersInfoA(row[0], 0, &value, 0))
            row[1] = value ? 1u : 0u;
    }
    g_saved = true;
}

void RestoreVisualEffects(int first, int last, int column)
{
    if (last == 0 || last >= kVisualEffectRows)
        last = kVisualEffectRows - 1;
    if (first < 0 || column < 0 || column > 3)
        return;
    for (int i = first; i <= last; ++i) {
        // The set codes take the value in pvParam, not through a pointer.
        SystemParametersInfoA(g_effects[i][2], 0,
                              reinterpret_cast<void*>(static_cast<UINT_PTR>(g_effects[i][column])),
                              SPIF_SENDCHANGE);
    }
}

bool VisualEffectsSaved()
{
    return g_saved;
}
