// What the tests of the host's screen in a participant's viewer share: a
// window with a known picture on the host's display, the viewer's client area
// compared with it, and the folder where the two programs of a run leave
// each other signs.
#pragma once

#include "Technician/decode/tests/TestImage.h"
#include "Technician/ui/tests/ScreenShot.h"
#include "Customer/tests/TestFrames.h"
#include "Customer/tests/ViewerPixels.h"
#include "core/app/tests/MeetingInstance_win.h"
#include "core/base/TopDownBitmap_win.h"
#include "rfb/PixelFormat.h"

#include "meeting/CCtrlMenu.h"
#include "meeting/CMeetingLobby.h"

#include <fstream>
#include <string>
#include <vector>

namespace sharetest {

using meetingtest::Env;

// The layout on the 1280 x 800 display: the known picture on the left, the
// host's pointer parked under it, the viewer frame on the right.
constexpr int kPictureW = 600, kPictureH = 700;
constexpr int kPointerX = 300, kPointerY = 770;
constexpr int kFrameX = 660, kFrameW = 600, kFrameH = 560;
// The lobbies stand right of the picture.
constexpr int kLobbyX = 620;

// The lobby's window, once made, right of the picture (so the host's
// screen shows the picture alone where the viewer is compared).
inline bool MoveLobbyAside(CManager& m)
{
    CMeetingLobby* lobby = m.lobby;
    if (!lobby || !meetingtest::WaitUntil([&] { return IsWindow(lobby->Window()) && lobby->ToolbarWindow(); }))
        return false;
    SetWindowPos(lobby->Window(), nullptr, kLobbyX, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

inline uint32_t KnownPixel(int x, int y)
{
    const uint32_t r = static_cast<uint32_t>(x * 3) & 0xFF;
    const uint32_t g = static_cast<uint32_t>(y * 2 + (x / 50) * 40) & 0xFF;
    const uint32_t b = static_cast<uint32_t>((x ^ y) * 5) & 0xFF;
    return r << 16 | g << 8 | b;
}

inline std::string PeerFile(const std::string& name)
{
    return "Z:" + Env("CORVISK_PEER_DIR") + "/" + name;
}

inline void Signal(const std::string& name)
{
    std::ofstream(PeerFile(name)) << "1";
}

inline bool Signalled(const std::string& name)
{
    return std::ifstream(PeerFile(name)).good();
}

// The plain window with the known picture, painted from memory.
class PictureWindow {
public:
    PictureWindow()
    {
        m_pixels.resize(static_cast<size_t>(kPictureW) * kPictureH);
        for (int y = 0; y < kPictureH; ++y)
            for (int x = 0; x < kPictureW; ++x)
                m_pixels[static_cast<size_t>(y) * kPictureW + x] = KnownPixel(x, y);
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorviskTestKnownPicture";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP,
                                 0, 0, kPictureW, kPictureH, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowPos(m_hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        InvalidateRect(m_hwnd, nullptr, FALSE);
        UpdateWindow(m_hwnd);
    }
    ~PictureWindow() { DestroyWindow(m_hwnd); }
    PictureWindow(const PictureWindow&) = delete;
    PictureWindow& operator=(const PictureWindow&) = delete;
    HWND Window() const { return m_hwnd; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        auto* self = reinterpret_cast<PictureWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (msg != WM_PAINT || !self)
            return DefWindowProcW(hwnd, msg, wp, lp);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        const BITMAPINFO bi = TopDownBitmapInfo(kPictureW, kPictureH);
        SetDIBitsToDevice(dc, 0, 0, kPictureW, kPictureH, 0, 0, 0, kPictureH, self->m_pixels.data(), &bi,
                          DIB_RGB_COLORS);
        EndPaint(hwnd, &ps);
        return 0;
    }

    HWND m_hwnd = nullptr;
    std::vector<uint32_t> m_pixels;
};

// The host's own control bar stands at the top of the screen, over the
// picture's corner, and is hatched in the shared picture (as every own
// window is). The picture tests keep it hidden and the picture repainted
// now and then, so that the capture takes the picture again: the hooks see
// the program's own paints, not a window of another Wine server moving off.
// A participant's bar stands there too, on the same display.
inline void HideControlBar(CManager& m)
{
    if (m.controlMenu && m.controlMenu->Window() && IsWindowVisible(m.controlMenu->Window()))
        ShowWindow(m.controlMenu->Window(), SW_HIDE);
}

inline bool KeepPictureClear(CManager& host, const PictureWindow& picture)
{
    static DWORD last = 0;
    if (GetTickCount() - last >= 500) {
        last = GetTickCount();
        HideControlBar(host);
        InvalidateRect(picture.Window(), nullptr, FALSE);
    }
    return true;
}

// Pixels of the viewer's client area that differ from the known picture as
// the viewer's format carries it: depth 0 takes the host's own format, depth 1
// BGR233, coloured by rule 1.
inline int Mismatches(const viewertest::Picture& shown, int colourDepth = 1)
{
    if (shown.width <= 0 || shown.height <= 0 || shown.width > kPictureW || shown.height > kPictureH)
        return -1;
    // The host grabs the screen in its 32-bit 0x00RRGGBB format.
    const rfb::PixelFormat host = testframes::Host32(), viewer = rfb::BGR233Format();
    int bad = 0;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            const uint32_t want = colourDepth == 0
                                      ? KnownPixel(x, y)
                                      : testdecode::Rule1(testframes::Expected(KnownPixel(x, y), host, viewer), viewer);
            bad += shown.at(x, y) != want;
        }
    return bad;
}

inline bool AllBlack(const viewertest::Picture& shown)
{
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (shown.at(x, y) != 0)
                return false;
    return shown.width > 0;
}

} // namespace sharetest
