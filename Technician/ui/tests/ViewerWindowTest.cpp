// The viewer's windows under Wine on Xvfb, fed by our host over loopback:
// the client area at true size equals the host's frame pixel for pixel,
// black beyond the picture, before the first picture and after a pause;
// zoom requests; each state saved as a PNG.
#include "Technician/connection/ClientConnection.h"
#include "Technician/connection/tests/HostPeer.h"
#include "Technician/ui/TechnicianGUI.h"
#include "Technician/ui/tests/ScreenShot.h"
#include "core/base/Registry.h"
#include "core/base/ThreadMessages.h"

#include <gtest/gtest.h>

namespace viewertest {
namespace {

constexpr int kW = 160;
constexpr int kH = 100;

struct Viewer {
    Viewer()
    {
        gui.CreateWindows();
        RECT want{0, 0, 240, 150};
        AdjustWindowRect(&want, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(gui.m_hwndFrame, HWND_TOP, 0, 0, want.right - want.left, want.bottom - want.top,
                     SWP_SHOWWINDOW);
        UpdateWindow(gui.m_hwndFrame);
    }
    ~Viewer()
    {
        DestroyWindow(gui.m_hwndFrame);
    }
    TechnicianGUI gui{nullptr, nullptr};
};

// Pixels of the window's picture area that differ from the framebuffer.
int Differences(const Picture& shot, decode::Framebuffer& fb)
{
    const decode::Framebuffer::View v = fb.view();
    int bad = 0;
    for (int y = 0; y < fb.height() && y < shot.height; ++y)
        for (int x = 0; x < fb.width() && x < shot.width; ++x)
            bad += shot.at(x, y) != (v.pixel(x, y) & 0xFFFFFF);
    return bad;
}

TEST(ViewerWindow, BlackBeforeThePicture)
{
    Viewer v;
    PumpUntil([] { return false; }, 200);
    const Picture shot = Capture(v.gui.m_hwndViewer);
    SavePng(shot, "before_first_picture");
    ASSERT_GT(shot.width, 0);
    EXPECT_EQ(shot.at(shot.width / 2, shot.height / 2), 0u);
}

TEST(ViewerWindow, TrueSizeEqualsTheHostFrameThenPauseBlackens)
{
    for (int depth : {1, 0}) {
        viewer::testing::HostPeer host(kW, kH);
        Viewer v;
        auto* conn = new ClientConnection(nullptr, static_cast<SOCKET>(host.viewerSocket()));
        conn->Options().colourDepth = depth;
        conn->Scale().setFitToWindow(false);
        v.gui.AttachConnection(conn);
        ASSERT_EQ(conn->Run(), 1);
        viewer::ClientFormat format;
        ASSERT_TRUE(viewer::ClientFormatFor(depth, testframes::Host32(), format));
        // First the host's frame in the framebuffer, then the same on the screen.
        EXPECT_TRUE(PumpUntil([&] { return host.mismatches(*conn->Framebuffer(), format.pf) == 0; }, 8000))
            << conn->Connected() << " " << host.mismatches(*conn->Framebuffer(), format.pf);
        Picture shot;
        const bool shown = PumpUntil(
            [&] {
                shot = Capture(v.gui.m_hwndViewer);
                return Differences(shot, *conn->Framebuffer()) == 0 && shot.at(kW + 5, 5) == 0;
            },
            3000);
        SavePng(shot, depth == 1 ? "true_size_depth1" : "true_size_depth0");
        EXPECT_TRUE(shown) << "depth " << depth;
        EXPECT_EQ(shot.at(kW + 10, kH / 2), 0u) << "black right of the picture";
        EXPECT_EQ(shot.at(kW / 2, kH + 10), 0u) << "black below the picture";

        // 0x465 with a 0 is refused; 50 % paints half the picture.
        EXPECT_EQ(SendMessageW(v.gui.m_hwndViewer, WM_VIEWER_SET_SCALE, 50, 0), 0);
        EXPECT_EQ(SendMessageW(v.gui.m_hwndViewer, WM_VIEWER_SET_SCALE, 50, 100), 1);
        PumpUntil([] { return false; }, 300);
        shot = Capture(v.gui.m_hwndViewer);
        SavePng(shot, depth == 1 ? "half_size_depth1" : "half_size_depth0");
        EXPECT_EQ(shot.at(kW / 2 + 5, 10), 0u) << "black beyond the half-size picture";

        // The pause: the reader ends, the window goes black.
        conn->Stop();
        EXPECT_EQ(WaitForSingleObject(conn->ReadyEvent(), 0), WAIT_OBJECT_0);
        PumpUntil([] { return false; }, 300);
        shot = Capture(v.gui.m_hwndViewer);
        SavePng(shot, depth == 1 ? "after_pause_depth1" : "after_pause_depth0");
        EXPECT_EQ(shot.at(kW / 4, kH / 4), 0u);
    }
}

DWORD Option(const char* name)
{
    DWORD v = 0xDEAD;
    RegReadDword(kOptionsKey, name, v);
    return v;
}

// A GUI destroyed after a session at 75 % saves the live display state,
// whether the session was stopped or is still reading.
TEST(ViewerWindow, OptionsSavedFromTheLiveState)
{
    for (bool stopFirst : {true, false}) {
        viewer::testing::HostPeer host(kW, kH);
        {
            Viewer v;
            auto* conn = new ClientConnection(nullptr, static_cast<SOCKET>(host.viewerSocket()));
            v.gui.AttachConnection(conn);
            ASSERT_EQ(conn->Run(), 1);
            PumpUntil([] { return false; }, 200);
            EXPECT_EQ(SendMessageW(v.gui.m_hwndViewer, WM_VIEWER_SET_SCALE, 75, 100), 1);
            if (stopFirst)
                conn->Stop();
        }
        const struct {
            const char* name;
            DWORD value;
        } want[] = {{"ColorDepth", 1}, {"Scaling", 1}, {"ScaleNum", 75}, {"ScaleDen", 100}, {"TopBar", 0}, {"SideBar", 0}};
        for (const auto& w : want)
            EXPECT_EQ(Option(w.name), w.value) << w.name << (stopFirst ? " (stopped)" : " (reading)");
    }
}

TEST(ViewerWindow, ASecondGuiAfterTheFirst)
{
    { Viewer first; }
    Viewer second;
    EXPECT_TRUE(IsWindow(second.gui.m_hwndViewer));
}

} // namespace
} // namespace viewertest
