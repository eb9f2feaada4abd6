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

int SystemWriter(unsigned action, unsigned param, void* value, unsigned flags)
{
    return SystemParametersInfoA(action, param, value, flags);
}
std::atomic<EffectsWriter> g_writer{SystemWriter};

} // namespace

EffectsWriter SetEffectsWriter(EffectsWriter writer)
{
    return g_writer.exchange(writer ? writer : SystemWriter);
}

void SaveVisualEffects()
{
    for (auto& row : g_effects) {
        BOOL value = FALSE;
        if (SystemParametersInfoA(row[0], 0, &value, 0))
            row[1] = value ? 1u : 0u;
    }
    g_saved = true;
}

void RestoreVisualEffects(int first, int last, int column, EffectsNotice notice)
{
    if (last == 0 || last >= kVisualEffectRows)
        last = kVisualEffectRows - 1;
    if (first < 0 || column < 0 || column > 3)
        return;
    UINT flags = notice == EffectsNotice::Broadcast ? SPIF_SENDCHANGE : 0;
    EffectsWriter write = g_writer.load();
    for (int i = first; i <= last; ++i) {
        // The set codes take the value in pvParam, not through a pointer.
        write(g_effects[i][2], 0, reinterpret_cast<void*>(static_cast<UINT_PTR>(g_effects[i][column])), flags);
    }
}

bool VisualEffectsSaved()
{
    return g_saved;
}
