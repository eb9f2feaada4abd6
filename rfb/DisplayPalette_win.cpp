#include "rfb/DisplayPalette.h"

#include "core/base/DHLog.h"

#include <windows.h>

namespace rfb {

namespace {

// The device context the palette comes from, released the way it was got.
class PaletteDc {
public:
    explicit PaletteDc(const char* mirrorDevice)
        : m_created(mirrorDevice != nullptr),
          m_dc(mirrorDevice ? CreateDCA("DISPLAY", mirrorDevice, nullptr, nullptr) : GetDC(nullptr))
    {
    }
    ~PaletteDc()
    {
        if (!m_dc)
            return;
        if (m_created)
            DeleteDC(m_dc);
        else
            ReleaseDC(nullptr, m_dc);
    }
    PaletteDc(const PaletteDc&) = delete;
    PaletteDc& operator=(const PaletteDc&) = delete;
    HDC get() const { return m_dc; }

private:
    bool m_created;
    HDC m_dc;
};

} // namespace

std::vector<PaletteEntry> ReadDisplayPalette(const char* mirrorDevice)
{
    DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGINFO, false,
                            mirrorDevice ? "Using mirror video Palette\n" : "Using video Palette\n");
    std::vector<PaletteEntry> entries;
    PaletteDc dc(mirrorDevice);
    if (!dc.get())
        return entries;
    PALETTEENTRY system[256] = {};
    const UINT got = GetSystemPaletteEntries(dc.get(), 0, 256, system);
    DHLog::Instance().Print(DHLOG_CAT_SHARING, DHLOG_DEBUGINFO, false, "got %u palette entries\n", got);
    for (UINT i = 0; i < got && i < 256; ++i)
        entries.push_back(PaletteEntry{system[i].peRed, system[i].peGreen, system[i].peBlue});
    return entries;
}

} // namespace rfb
