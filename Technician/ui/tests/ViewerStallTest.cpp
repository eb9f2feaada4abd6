// A hostile host under Wine: while a scripted host stalls for 5 s inside a
// rectangle (Raw, Hextile and ZRLE), the viewer window keeps answering: a
// 1 s SendMessageTimeout from another thread returns in time and the window
// repaints at the zoom it asked for from the picture it already has; when the
// host goes on, the rectangle lands. Each state saved as a PNG.
#include "Technician/connection/ClientConnection.h"
#include "Technician/connection/tests/ReaderFixture.h"
#include "Technician/ui/TechnicianGUI.h"
#include "Technician/ui/tests/ScreenShot.h"
#include "rfb/tests/LoopbackPair.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <thread>

namespace viewertest {
namespace {

using viewer::Bytes;
using viewer::testing::Script;

constexpr int kW = 160;
constexpr int kH = 100;
constexpr uint32_t kGreen = 0x0000FF00;
constexpr uint32_t kBlue = 0x000000FF;
constexpr int kStallMs = 5000;

// One pixel of the host's format (32 bits, little-endian 0x00RRGGBB).
Script& Pixel(Script& s, uint32_t c)
{
    return s.u8(c & 0xFF).u8(c >> 8 & 0xFF).u8(c >> 16 & 0xFF).u8(0);
}

Bytes RawUpdate(uint32_t colour)
{
    Script s;
    s.update(1).rect(0, 0, kW, kH, 0);
    for (int i = 0; i < kW * kH; ++i)
        Pixel(s, colour);
    return s.bytes;
}

// Every 16 x 16 tile with only its background colour.
Bytes HextileUpdate(uint32_t colour)
{
    Script s;
    s.update(1).rect(0, 0, kW, kH, 5);
    for (int y = 0; y < kH; y += 16)
        for (int x = 0; x < kW; x += 16)
            Pixel(s.u8(2), colour);
    return s.bytes;
}

// Every 64 x 64 tile solid, in 3-byte compressed pixels, deflated.
Bytes ZrleUpdate(uint32_t colour)
{
    Script tiles;
    for (int y = 0; y < kH; y += 64)
        for (int x = 0; x < kW; x += 64)
            tiles.u8(1).u8(colour & 0xFF).u8(colour >> 8 & 0xFF).u8(colour >> 16 & 0xFF);
    uLongf size = compressBound(static_cast<uLong>(tiles.bytes.size()));
    Bytes packed(size);
    EXPECT_EQ(compress2(packed.data(), &size, tiles.bytes.data(), static_cast<uLong>(tiles.bytes.size()), 6), Z_OK);
    packed.resize(size);
    Script s;
    s.update(1).rect(0, 0, kW, kH, 16).u32(static_cast<uint32_t>(packed.size())).raw(packed);
    return s.bytes;
}

struct Viewer {
    explicit Viewer(rdr::SocketHandle socket)
    {
        gui.CreateWindows();
        RECT want{0, 0, 240, 150};
        AdjustWindowRect(&want, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(gui.m_hwndFrame, HWND_TOP, 0, 0, want.right - want.left, want.bottom - want.top,
                     SWP_SHOWWINDOW);
        conn = new ClientConnection(nullptr, static_cast<SOCKET>(socket));
        // The GUI gives the connection its options: the host's own format, true size.
        gui.Options().colourDepth = 0;
        gui.AttachConnection(conn);
        conn->Scale().setFitToWindow(false);
    }
    ~Viewer() { DestroyWindow(gui.m_hwndFrame); }
    TechnicianGUI gui{nullptr, nullptr};
    ClientConnection* conn = nullptr;
};

bool Shows(HWND hwnd, int x, int y, uint32_t colour, Picture* shot = nullptr)
{
    Picture p = Capture(hwnd);
    const bool yes = x < p.width && y < p.height && p.at(x, y) == colour;
    if (shot)
        *shot = std::move(p);
    return yes;
}

TEST(ViewerStall, WindowAnswersAndRepaintsWhileTheHostStallsInsideARectangle)
{
    const struct {
        const char* name;
        Bytes update;
    } cases[] = {
        {"raw", RawUpdate(kBlue)},
        {"hextile", HextileUpdate(kBlue)},
        {"zrle", ZrleUpdate(kBlue)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackPair pair(LoopbackPair::Sends::AtOnce);
        Viewer v(pair.nearEnd());
        std::thread answer([&] {
            uint8_t request[2];
            if (pair.receiveAtFar(request, 2, 5000))
                pair.sendFromFar(viewer::testing::Reply(kW, kH));
        });
        ASSERT_EQ(v.conn->Run(), 1);
        answer.join();

        // A whole green picture first.
        ASSERT_TRUE(pair.sendFromFar(RawUpdate(kGreen)));
        Picture shot;
        const bool green = PumpUntil([&] { return Shows(v.gui.m_hwndViewer, kW / 2, kH / 2, kGreen, &shot); }, 8000);
        SavePng(shot, std::string("before_stall_") + c.name);
        ASSERT_TRUE(green) << std::hex << (shot.width > kW / 2 && shot.height > kH / 2 ? shot.at(kW / 2, kH / 2) : 0xdead)
                           << std::dec << " in " << shot.width << "x" << shot.height;

        // Then a blue rectangle cut short; the rest comes after the stall.
        const size_t cut = c.update.size() / 2;
        ASSERT_TRUE(pair.sendFromFar(c.update.data(), cut));
        const DWORD stallStart = GetTickCount();
        std::thread host([&] {
            Sleep(kStallMs);
            pair.sendFromFar(c.update.data() + cut, c.update.size() - cut);
        });
        PumpUntil([] { return false; }, 300);

        // Another thread asks for 50 % with a 1 s limit, as the core's
        // threads and other programs' windows do.
        std::atomic<int> answered{-1};
        DWORD_PTR result = 0;
        DWORD took = 0;
        std::thread asker([&] {
            const DWORD t0 = GetTickCount();
            const LRESULT ok = SendMessageTimeoutW(v.gui.m_hwndViewer, WM_VIEWER_SET_SCALE, 50, 100, SMTO_NORMAL,
                                                   1000, &result);
            took = GetTickCount() - t0;
            answered = ok ? 1 : 0;
        });
        PumpUntil([&] { return answered.load() >= 0; }, 3000);
        asker.join();
        EXPECT_EQ(answered.load(), 1);
        EXPECT_EQ(result, 1u);
        EXPECT_LT(took, 1000u);

        // The repaint at half size: green picture, black beyond it.
        const bool repainted = PumpUntil(
            [&] {
                return Shows(v.gui.m_hwndViewer, kW / 4, kH / 4, kGreen, &shot) && shot.at(kW / 2 + 10, 10) == 0;
            },
            2000);
        EXPECT_TRUE(repainted);
        EXPECT_LT(GetTickCount() - stallStart, static_cast<DWORD>(kStallMs)) << "repainted during the stall";
        SavePng(shot, std::string("stalled_half_size_") + c.name);

        // The host goes on: the blue rectangle lands.
        EXPECT_TRUE(PumpUntil([&] { return Shows(v.gui.m_hwndViewer, kW / 4, kH / 4, kBlue, &shot); },
                              kStallMs + 5000));
        SavePng(shot, std::string("after_stall_") + c.name);
        host.join();
        v.conn->Stop();
    }
}

} // namespace
} // namespace viewertest
