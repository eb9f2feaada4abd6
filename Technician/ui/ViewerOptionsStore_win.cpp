#include "Technician/ui/ViewerOptionsStore.h"

#include "core/base/Registry.h"

#include <windows.h>

namespace {

DWORD Truncated(double v)
{
    return v > 0 && v < 4294967295.0 ? static_cast<DWORD>(v) : 0;
}

} // namespace

bool ViewerOptionsStore::Save() const
{
    const struct {
        const char* name;
        DWORD value;
    } values[] = {
        {"ColorDepth", static_cast<DWORD>(colourDepth)},
        {"Scaling", display.scaling ? 1u : 0u},
        {"ScaleNum", Truncated(display.scaleNum)},
        {"ScaleDen", Truncated(display.scaleDen)},
        {"TopBar", topBar ? 1u : 0u},
        {"SideBar", sideBar ? 1u : 0u},
    };
    bool ok = true;
    for (const auto& v : values)
        ok = WriteSettingDword(kOptionsKey, v.name, v.value) == 1 && ok;
    return ok;
}
