// The viewer's zoom under Wine on Xvfb, driven through the real controls:
// toolbar buttons clicked, combo items chosen from the list, text typed into
// the combo's edit; the zoom display, scroll bars, the zoom requests 0x465
// and 0x467, and screenshots of scaled pictures against a box filter.
#include "Technician/connection/tests/BoxReference.h"
#include "Technician/ui/tests/ViewerFixture.h"

#include <gtest/gtest.h>


namespace viewertest {
namespace {

constexpr int kW = 480;
constexpr int kH = 300;

// Gradients with a 16-pixel chequer in blue: smooth areas and hard edges.
std::vector<uint32_t> TestPicture()
{
    std::vector<uint32_t> p(static_cast<size_t>(kW) * kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint32_t r = static_cast<uint32_t>(x * 255 / (kW - 1));
            const uint32_t g = static_cast<uint32_t>(y * 255 / (kH - 1));
            const uint32_t b = ((x / 16 + y / 16) % 2) ? 200 : 40;
            p[static_cast<size_t>(y) * kW + x] = r << 16 | g << 8 | b;
        }
    return p;
}

// A viewer showing the test picture from a scripted host at true size.
struct PictureView {
    PictureView()
    {
        v.gui.Options().colourDepth = 0;  // the host's own 32-bit format
        conn = v.Connect(host.viewerSocket());
        if (!conn)
            return;
        host.sendPicture(picture);
        shown = PumpUntil([&] { return FramebufferIs(*conn, picture); }, 5000);
        PumpUntil([] { return false; }, 100);
    }
    int Percent() const { return conn->Scale().percent(); }
    std::vector<uint32_t> picture = TestPicture();
    ScriptedHost host{kW, kH};
    Viewer v;
    ClientConnection* conn = nullptr;
    bool shown = false;
};

void ExpectDisplay(const TechnicianGUI& gui, bool fit, int percent, const std::string& when)
{
    EXPECT_EQ(ButtonChecked(gui, IDM_ZOOM_AUTO_SCALING), fit) << when;
    EXPECT_EQ(ButtonText(gui, IDM_ZOOM_STEP), fit ? std::wstring(L"Auto Scale") : Percent(percent)) << when;
    EXPECT_EQ(ComboText(gui), Percent(percent)) << when;
}

TEST(ViewerZoom, ToolbarButtons)
{
    PictureView p;
    ASSERT_TRUE(p.shown);
    TechnicianGUI& g = p.v.gui;
    const viewer::ViewScale& s = p.conn->Scale();
    // Fit from the session's start: the picture fills the window at once.
    const RECT rc = p.v.ViewerClient();
    const int fit = std::min(rc.bottom * 100 / kH, rc.right * 100 / kW);
    EXPECT_TRUE(s.fitToWindow());
    EXPECT_EQ(p.Percent(), fit);
    ExpectDisplay(g, true, fit, "at the start");

    ClickToolbarButton(g, IDM_ZOOM_AUTO_SCALING);
    EXPECT_FALSE(s.fitToWindow());
    EXPECT_EQ(p.Percent(), 100);
    ExpectDisplay(g, false, 100, "auto scaling off");
    ClickToolbarButton(g, IDM_ZOOM_AUTO_SCALING);
    EXPECT_TRUE(s.fitToWindow());
    EXPECT_EQ(p.Percent(), fit);
    ExpectDisplay(g, true, fit, "auto scaling on");

    // The fit follows every size of the window; a minimised frame keeps it.
    RECT frame;
    GetWindowRect(g.m_hwndFrame, &frame);
    SetWindowPos(g.m_hwndFrame, nullptr, 0, 0, frame.right - frame.left - 100, frame.bottom - frame.top - 60,
                 SWP_NOMOVE | SWP_NOZORDER);
    const RECT smaller = p.v.ViewerClient();
    const int smallerFit = std::min(smaller.bottom * 100 / kH, smaller.right * 100 / kW);
    EXPECT_LT(smallerFit, fit);
    EXPECT_EQ(p.Percent(), smallerFit);
    ExpectDisplay(g, true, smallerFit, "a smaller window");
    ShowWindow(g.m_hwndFrame, SW_MINIMIZE);
    EXPECT_EQ(p.Percent(), smallerFit) << "not 0 while minimised";
    ShowWindow(g.m_hwndFrame, SW_RESTORE);
    EXPECT_EQ(p.Percent(), smallerFit);

    ClickToolbarButton(g, IDM_ZOOM_TRUE_SIZE);
    EXPECT_EQ(p.Percent(), 100);
    ExpectDisplay(g, false, 100, "true size");

    // 110 ... 500, 490 ... 10, then 20 again.
    std::vector<int> want;
    for (int q = 110; q <= 500; q += 10)
        want.push_back(q);
    for (int q = 490; q >= 10; q -= 10)
        want.push_back(q);
    want.push_back(20);
    for (size_t i = 0; i < want.size(); ++i) {
        ClickToolbarButton(g, IDM_ZOOM_STEP);
        ASSERT_EQ(p.Percent(), want[i]) << "click " << i + 1;
        ExpectDisplay(g, false, want[i], "zoom click " + std::to_string(i + 1));
    }
}

TEST(ViewerZoom, ComboItemsAndTypedText)
{
    PictureView p;
    ASSERT_TRUE(p.shown);
    TechnicianGUI& g = p.v.gui;
    const RECT rc = p.v.ViewerClient();
    const int cw = rc.right, ch = rc.bottom;
    const int best = std::min(ch * 100 / kH, cw * 100 / kW);
    int height = ch * 100 / kH;
    if (cw * 100 / kW < height)
        height = (ch - GetSystemMetrics(SM_CXVSCROLL)) * 100 / kH;
    int width = cw * 100 / kW;
    if (ch * 100 / kH < width)
        width = (cw - GetSystemMetrics(SM_CYHSCROLL)) * 100 / kW;
    const int items[] = {25, 50, 75, 100, 150, 200, best, height, width};
    for (int i = 0; i < 9; ++i) {
        ChooseComboItem(g, i);
        PumpUntil([] { return false; }, 50);
        EXPECT_EQ(p.Percent(), items[i]) << "item " << i;
        EXPECT_FALSE(p.conn->Scale().fitToWindow()) << "item " << i;
        ExpectDisplay(g, false, items[i], "item " + std::to_string(i));
    }
    EXPECT_LT(width, 100) << "Fit Width on a window narrower than the picture";

    const struct {
        const wchar_t* text;
        WPARAM key;
        int percent;
    } typed[] = {
        {L"75 %", VK_RETURN, 75}, {L"0", VK_RETURN, 10}, {L"150", VK_TAB, 150}, {L"900%", VK_ESCAPE, 500},
        {L"abc", VK_RETURN, 500},  // unreadable: nothing changes
        {L"", VK_RETURN, 500},
    };
    for (const auto& t : typed) {
        TypeZoomText(g, t.text, t.key);
        EXPECT_EQ(p.Percent(), t.percent) << '"' << std::string(t.text, t.text + wcslen(t.text)) << '"';
        EXPECT_EQ(ComboText(g), Percent(t.percent));
    }
}

TEST(ViewerZoom, ScrollBarsFollowTheScaleAndClamp)
{
    PictureView p;
    ASSERT_TRUE(p.shown);
    HWND w = p.v.gui.m_hwndViewer;
    const viewer::ViewScale& s = p.conn->Scale();
    ASSERT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 200, 100), 1);
    const RECT rc = p.v.ViewerClient();
    for (int bar : {SB_HORZ, SB_VERT}) {
        const bool h = bar == SB_HORZ;
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        ASSERT_TRUE(GetScrollInfo(w, bar, &si));
        EXPECT_EQ(si.nMin, 0);
        EXPECT_EQ(si.nMax, h ? 2 * kW : 2 * kH);
        EXPECT_EQ(static_cast<int>(si.nPage), h ? rc.right : rc.bottom) << "page = the window";
        const UINT msg = h ? WM_HSCROLL : WM_VSCROLL;
        const int end = (h ? 2 * kW - rc.right : 2 * kH - rc.bottom);
        SendMessageW(w, msg, SB_BOTTOM, 0);
        EXPECT_EQ(h ? s.hpos() : s.vpos(), end);
        SendMessageW(w, msg, SB_LINEDOWN, 0);
        SendMessageW(w, msg, SB_PAGEDOWN, 0);
        EXPECT_EQ(h ? s.hpos() : s.vpos(), end) << "clamped at the end";
        si.fMask = SIF_POS;
        GetScrollInfo(w, bar, &si);
        EXPECT_EQ(si.nPos, end);
        SendMessageW(w, msg, SB_LINEUP, 0);
        EXPECT_EQ(h ? s.hpos() : s.vpos(), end - 2);
        SendMessageW(w, msg, SB_PAGEUP, 0);
        EXPECT_EQ(h ? s.hpos() : s.vpos(), end - 2 - (h ? rc.right : rc.bottom) / 4);
        SendMessageW(w, msg, SB_TOP, 0);
        SendMessageW(w, msg, SB_LINEUP, 0);
        EXPECT_EQ(h ? s.hpos() : s.vpos(), 0) << "clamped at the start";
    }
    // A larger window: the page grows with it.
    SendMessageW(w, WM_HSCROLL, SB_BOTTOM, 0);
    RECT frame;
    GetWindowRect(p.v.gui.m_hwndFrame, &frame);
    SetWindowPos(p.v.gui.m_hwndFrame, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    const RECT wider = p.v.ViewerClient();
    EXPECT_EQ(s.pageWidth(), wider.right);
    EXPECT_EQ(s.hpos(), 2 * kW - wider.right);
}

// Answers 0x467 by keeping what it was told.
WPARAM g_sizeAnswer = 0;
LPARAM g_sizeTag = 0;
LRESULT CALLBACK SizeProbe(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_VIEWER_QUERY_SIZE) {
        g_sizeAnswer = wp;
        g_sizeTag = lp;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(ViewerZoom, ScaleRequestsAndSizeQuery)
{
    PictureView p;
    ASSERT_TRUE(p.shown);
    HWND w = p.v.gui.m_hwndViewer;
    EXPECT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 75, 0), 0) << "a zero denominator is refused";
    EXPECT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 0, 100), 0) << "a zero numerator is refused";
    EXPECT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 75, -100), 0) << "a negative denominator is refused";
    EXPECT_TRUE(p.conn->Scale().fitToWindow());
    EXPECT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 150, 200), 1);
    EXPECT_FALSE(p.conn->Scale().fitToWindow());
    EXPECT_TRUE(p.conn->Scale().scaling());
    EXPECT_EQ(p.Percent(), 75);
    ExpectDisplay(p.v.gui, false, 75, "after 0x465");

    WNDCLASSW wc = {};
    wc.lpfnWndProc = SizeProbe;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ViewerSizeProbe";
    RegisterClassW(&wc);
    HWND probe = CreateWindowW(L"ViewerSizeProbe", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(SendMessageW(w, WM_VIEWER_QUERY_SIZE, reinterpret_cast<WPARAM>(probe), 0x1234), 1);
    EXPECT_EQ(g_sizeAnswer, static_cast<WPARAM>(MAKELONG(kW * 3 / 4, kH * 3 / 4)));
    EXPECT_EQ(g_sizeTag, 0x1234);
    DestroyWindow(probe);
}

// Without a picture (no connection yet, or paused) the zoom controls change
// nothing and nothing divides by a missing size.
TEST(ViewerZoom, IgnoredWithoutAPicture)
{
    Viewer v;
    auto poke = [](TechnicianGUI& g) {
        ClickToolbarButton(g, IDM_ZOOM_STEP);
        ClickToolbarButton(g, IDM_ZOOM_TRUE_SIZE);
        ClickToolbarButton(g, IDM_ZOOM_AUTO_SCALING);
        for (int i = 0; i < 9; ++i)
            ChooseComboItem(g, i);
        TypeZoomText(g, L"75 %");
        EXPECT_EQ(SendMessageW(g.m_hwndViewer, WM_VIEWER_SET_SCALE, 50, 100), 0);
    };
    poke(v.gui);
    PumpUntil([] { return false; }, 50);
    ExpectDisplay(v.gui, true, 100, "no connection");

    PictureView p;
    ASSERT_TRUE(p.shown);
    ClickToolbarButton(p.v.gui, IDM_ZOOM_TRUE_SIZE);
    p.conn->Stop();
    PumpUntil([] { return false; }, 50);
    poke(p.v.gui);
    EXPECT_EQ(p.Percent(), 100);
    EXPECT_FALSE(p.conn->Scale().fitToWindow());
}

// Screenshots at 50 %, at 200 % scrolled and at Best Fit: within the scaled
// picture every pixel is within kTolerance (the rounding of a mean) of a box
// filter of the frame on every channel, also where strips painted after a
// scroll meet; beyond it, black exactly.
constexpr int kTolerance = 1;

TEST(ViewerZoom, ScaledScreenshotsMatchABoxFilter)
{
    PictureView p;
    ASSERT_TRUE(p.shown);
    TechnicianGUI& g = p.v.gui;
    HWND w = g.m_hwndViewer;
    const struct {
        const char* name;
        std::function<void()> apply;
    } cases[] = {
        {"scaled_50", [&] { ChooseComboItem(g, 1); }},
        {"scaled_200_scrolled",
         [&] {
             ChooseComboItem(g, 5);
             SendMessageW(w, WM_HSCROLL, SB_PAGEDOWN, 0);
             SendMessageW(w, WM_VSCROLL, SB_PAGEDOWN, 0);
         }},
        {"scaled_best_fit", [&] { ChooseComboItem(g, 6); }},
    };
    for (const auto& c : cases) {
        c.apply();
        PumpUntil([] { return false; }, 200);
        const viewer::ViewScale& s = p.conn->Scale();
        const Picture shot = Capture(w);
        SavePng(shot, c.name);
        const int showW = s.scaledWidth() - s.hpos(), showH = s.scaledHeight() - s.vpos();
        long inside = 0, close = 0, margin = 0, blackMargin = 0;
        double total = 0;
        for (int y = 0; y < shot.height; ++y)
            for (int x = 0; x < shot.width; ++x) {
                if (x < showW && y < showH) {
                    const int d = viewer::testing::ChannelDiff(
                        shot.at(x, y), viewer::testing::BoxReference(p.picture, kW, kH, s.scaledWidth(), s.scaledHeight(),
                                                                     x + s.hpos(), y + s.vpos()));
                    ++inside;
                    close += d <= kTolerance;
                    total += d;
                } else {
                    ++margin;
                    blackMargin += shot.at(x, y) == 0;
                }
            }
        ASSERT_GT(inside, 0) << c.name;
        EXPECT_EQ(close, inside)
            << c.name << ": " << close << " of " << inside << " close, mean difference " << total / inside;
        EXPECT_EQ(blackMargin, margin) << c.name << ": black beyond the picture";
        if (std::string(c.name) == "scaled_50") {
            EXPECT_GT(margin, 0) << "a half-size picture leaves margins";
        }
        if (std::string(c.name) == "scaled_200_scrolled") {
            EXPECT_GT(s.hpos(), 0);
        }
    }
}

} // namespace
} // namespace viewertest
