#include "Customer/capture/GdiScreen.h"

#include "Customer/capture/DisplayLayout.h"
#include "Customer/encode/HostLog.h"
#include "Customer/capture/ScreenFormat.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

// The bitmap information record: header, then room for the three masks or
// 256 colours.
struct BitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

class GdiScreen : public ScreenSource {
public:
    GdiScreen() = default;
    ~GdiScreen() override
    {
        if (m_memDC) {
            if (m_oldBitmap)
                SelectObject(m_memDC, m_oldBitmap);
            DeleteDC(m_memDC);
        }
        if (m_bitmap)
            DeleteObject(m_bitmap);
        if (m_rootDC)
            DeleteDC(m_rootDC);
    }
    GdiScreen(const GdiScreen&) = delete;
    GdiScreen& operator=(const GdiScreen&) = delete;

    bool Init();

    ScreenInfo Info() const override { return m_info; }
    uint8_t* Bits() override { return m_bits; }
    bool CaptureRect(const rfb::Rect& r, uint8_t* dest, size_t) override
    {
        if (dest != m_bits || !m_bits)
            return false;
        const BOOL ok = BitBlt(m_memDC, r.left, r.top, r.width(), r.height(), m_rootDC, r.left + m_offsetX,
                               r.top + m_offsetY, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        return ok != FALSE;
    }

private:
    bool InitBitmap();
    bool SetPixFormat();

    HDC m_rootDC = nullptr;
    HDC m_memDC = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_oldBitmap = nullptr;
    uint8_t* m_bits = nullptr;
    int m_offsetX = 0;
    int m_offsetY = 0;
    BitmapInfo m_bmi;
    bool m_trueColour = true;
    ScreenInfo m_info;
};

bool GdiScreen::InitBitmap()
{
    DisplayLayout layout;
    ReadDisplayLayout(layout);
    HostLog(kHostLogDebugInfo, "No driver used \n");
    int width, height;
    if (layout.monitorCount <= 1 && !layout.primary.deviceName.empty()) {
        m_rootDC = CreateDCA("DISPLAY", layout.primary.deviceName.c_str(), nullptr, nullptr);
        m_offsetX = layout.primary.x;
        m_offsetY = layout.primary.y;
        width = layout.primary.width;
        height = layout.primary.height;
    } else {
        m_rootDC = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        m_offsetX = layout.virtualScreen.x;
        m_offsetY = layout.virtualScreen.y;
        width = layout.virtualScreen.width;
        height = layout.virtualScreen.height;
    }
    if (!m_rootDC) {
        HostLog(kHostLogError, "Can not create m_hrootDC(%d).\n", static_cast<int>(GetLastError()));
        return false;
    }
    if (width <= 0 || height <= 0) {
        width = GetDeviceCaps(m_rootDC, HORZRES);
        height = GetDeviceCaps(m_rootDC, VERTRES);
    }
    HostLog(kHostLogDebugInfo, "bitmap dimensions are %d x %d\n", width, height);
    m_memDC = CreateCompatibleDC(m_rootDC);
    if (!m_memDC) {
        HostLog(kHostLogError, "failed to create compatibleDC(%d)\n", static_cast<int>(GetLastError()));
        return false;
    }
    if (!(GetDeviceCaps(m_rootDC, RASTERCAPS) & RC_BITBLT)) {
        HostLog(kHostLogError, "Desktop : root device doesn't support BitBlt\n");
        return false;
    }
    if (!(GetDeviceCaps(m_memDC, RASTERCAPS) & RC_DI_BITMAP)) {
        HostLog(kHostLogError, "Desktop : memory device doesn't support GetDIBits\n");
        return false;
    }
    HBITMAP probe = CreateCompatibleBitmap(m_rootDC, width, height);
    if (!probe) {
        HostLog(kHostLogError, "failed to create memory bitmap(%d)\n", static_cast<int>(GetLastError()));
        return false;
    }
    std::memset(&m_bmi, 0, sizeof m_bmi);
    m_bmi.header.biSize = sizeof(BITMAPINFOHEADER);
    const bool gotFormat =
        GetDIBits(m_memDC, probe, 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&m_bmi), DIB_RGB_COLORS) != 0 &&
        GetDIBits(m_memDC, probe, 0, 1, nullptr, reinterpret_cast<BITMAPINFO*>(&m_bmi), DIB_RGB_COLORS) != 0;
    DeleteObject(probe);
    if (!gotFormat) {
        HostLog(kHostLogError, "unable to get display format\n");
        return false;
    }
    HostLog(kHostLogDebugInfo, "got bitmap format\n");
    m_trueColour = !(GetDeviceCaps(m_rootDC, RASTERCAPS) & RC_PALETTE);

    // Thunk: 1 and 4 bits become 8 (palette), 24 becomes 32.
    BITMAPINFOHEADER& h = m_bmi.header;
    const int bits = CaptureBitCount(h.biBitCount);
    if (bits != h.biBitCount) {
        if (bits == 8)
            m_trueColour = false;
        h.biBitCount = static_cast<WORD>(bits);
        h.biCompression = BI_RGB;
        h.biClrUsed = 0;
    }
    h.biWidth = width;
    h.biHeight = -height;  // top-down
    h.biPlanes = 1;
    h.biSizeImage = static_cast<DWORD>(DibStride(width, bits) * static_cast<size_t>(height));

    HostLog(kHostLogDebugInfo, "attempting to enable DIBsection blits\n");
    void* bitsPtr = nullptr;
    m_bitmap = CreateDIBSection(m_memDC, reinterpret_cast<BITMAPINFO*>(&m_bmi), DIB_RGB_COLORS, &bitsPtr, nullptr, 0);
    if (!m_bitmap || !bitsPtr) {
        HostLog(kHostLogError, "failed to build DIB section\n");
        return false;
    }
    HostLog(kHostLogDebugInfo, "enabled fast DIBsection blits OK\n");
    m_oldBitmap = SelectObject(m_memDC, m_bitmap);
    m_bits = static_cast<uint8_t*>(bitsPtr);
    m_info.width = width;
    m_info.height = height;
    m_info.originX = m_offsetX;
    m_info.originY = m_offsetY;
    return true;
}

bool GdiScreen::SetPixFormat()
{
    rfb::PixelFormat& pf = m_info.format;
    const BITMAPINFOHEADER& h = m_bmi.header;
    pf.bitsPerPixel = static_cast<uint8_t>(h.biBitCount);
    pf.depth = static_cast<uint8_t>(h.biBitCount);
    pf.bigEndian = false;
    pf.trueColour = m_trueColour;
    if (!m_trueColour) {
        // Palette displays are captured, but their colour map is not served.
        HostLog(kHostLogError, "palette display (%d bits per pixel) is not supported\n", h.biBitCount);
        return false;
    }
    uint32_t red, green, blue;
    if (h.biCompression == BI_BITFIELDS) {
        const DWORD* masks = reinterpret_cast<const DWORD*>(m_bmi.colours);
        red = masks[0];
        green = masks[1];
        blue = masks[2];
    } else if (!DefaultRgbMasks(h.biBitCount, &red, &green, &blue)) {
        HostLog(kHostLogError, "unsupported truecolour pixel format for setpixshifts\n");
        return false;
    }
    if (!SetPixShifts(pf, red, green, blue)) {
        HostLog(kHostLogError, "unsupported truecolour pixel format for setpixshifts\n");
        return false;
    }
    return true;
}

bool GdiScreen::Init()
{
    return InitBitmap() && SetPixFormat();
}

} // namespace

std::unique_ptr<ScreenSource> CreateGdiScreen()
{
    auto screen = std::make_unique<GdiScreen>();
    if (!screen->Init())
        return nullptr;
    return screen;
}
