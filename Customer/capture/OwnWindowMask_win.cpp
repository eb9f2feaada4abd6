#include "Customer/capture/OwnWindowMask.h"

#include "Customer/capture/MagnifierCapture.h"
#include "Customer/capture/OwnWindowHatch.h"
#include "core/base/AppWindows.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

rfb::Rect ToRect(const RECT& r)
{
    return rfb::Rect(r.left, r.top, r.right, r.bottom);
}

// The window's shape on the virtual screen: its window region when it has
// one, else its rectangle.
bool WindowShape(HWND hwnd, rfb::Region& shape)
{
    RECT wr;
    if (!GetWindowRect(hwnd, &wr))
        return false;
    const rfb::Rect rect = ToRect(wr);
    shape.reset(rect);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    if (!rgn)
        return true;
    const int kind = GetWindowRgn(hwnd, rgn);
    if (kind == SIMPLEREGION || kind == COMPLEXREGION) {
        const DWORD size = GetRegionData(rgn, 0, nullptr);
        std::vector<uint8_t> data(size);
        if (size >= sizeof(RGNDATAHEADER) && GetRegionData(rgn, size, reinterpret_cast<RGNDATA*>(data.data())) == size) {
            const RGNDATA* rd = reinterpret_cast<const RGNDATA*>(data.data());
            const size_t room = (size - sizeof(RGNDATAHEADER)) / sizeof(RECT);
            const size_t count = std::min<size_t>(rd->rdh.nCount, room);
            const RECT* rects = reinterpret_cast<const RECT*>(rd->Buffer);
            rfb::Region r;
            for (size_t i = 0; i < count; ++i)
                r.assign_union(rfb::Region(ToRect(rects[i]).translate(rfb::Point(rect.left, rect.top))));
            shape = r.intersect(rfb::Region(rect));
        }
    }
    DeleteObject(rgn);
    return true;
}

// Every window above hwnd in Z order. The walk is bounded: windows that
// change their place in the order meanwhile could make it run in a circle.
std::vector<WindowAbove> WindowsAbove(HWND hwnd)
{
    constexpr int kMostWindows = 4096;
    std::vector<WindowAbove> above;
    int walked = 0;
    for (HWND w = GetWindow(hwnd, GW_HWNDPREV); w && walked < kMostWindows; w = GetWindow(w, GW_HWNDPREV), ++walked) {
        RECT r;
        if (!IsWindowVisible(w) || !GetWindowRect(w, &r))
            continue;
        WindowAbove a;
        a.rect = ToRect(r);
        a.layered = (GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
        if (a.layered) {
            BYTE alpha = 255;
            DWORD flags = 0;
            if (GetLayeredWindowAttributes(w, nullptr, &alpha, &flags) && (flags & LWA_ALPHA))
                a.alpha = alpha;
        }
        above.push_back(a);
    }
    return above;
}

class ComposedScreen : public ScreenSource {
public:
    explicit ComposedScreen(std::unique_ptr<ScreenSource> inner) : m_inner(std::move(inner)), m_info(m_inner->Info()) {}

    ScreenInfo Info() const override { return m_inner->Info(); }
    uint8_t* Bits() override { return m_inner->Bits(); }
    bool CaptureRect(const rfb::Rect& r, uint8_t* dest, size_t stride) override
    {
        const rfb::Point origin(m_info.originX, m_info.originY);
        // The magnifier is asked only while it runs: a capture that never
        // started costs nothing per grab.
        bool fromMagnifier = false;
        if (MagnifierCapture::Running() && m_info.format.bitsPerPixel == 32)
            fromMagnifier = MagnifierCapture::CopyToBits(r.translate(origin), dest, stride, rfb::Point(r.left, r.top));
        if (!fromMagnifier && !m_inner->CaptureRect(r, dest, stride))
            return false;
        std::vector<HWND> windows = HiddenWindowList();
        if (!fromMagnifier) {
            for (HWND w : AppWindowList()) {
                if (std::find(windows.begin(), windows.end(), w) == windows.end())
                    windows.push_back(w);
            }
        }
        rfb::Region hatch;
        const rfb::Region grabbed(r);
        for (HWND w : windows) {
            rfb::Region shape;
            if (!IsWindow(w) || !IsWindowVisible(w) || !WindowShape(w, shape))
                continue;
            shape.translate(origin.negate());
            shape.assign_intersect(grabbed);
            if (shape.is_empty())
                continue;
            std::vector<WindowAbove> above = WindowsAbove(w);
            for (WindowAbove& a : above)
                a.rect = a.rect.translate(origin.negate());
            hatch.assign_union(VisibleOwnPart(shape, above, g_comProbeOk != 0));
        }
        if (!hatch.is_empty())
            HatchRegion(dest, stride, m_info.width, m_info.height, m_info.format, hatch);
        return true;
    }

private:
    std::unique_ptr<ScreenSource> m_inner;
    ScreenInfo m_info;
};

} // namespace

std::unique_ptr<ScreenSource> ComposeOwnWindows(std::unique_ptr<ScreenSource> inner)
{
    if (!inner)
        return nullptr;
    return std::make_unique<ComposedScreen>(std::move(inner));
}
