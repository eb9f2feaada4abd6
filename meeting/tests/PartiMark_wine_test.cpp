// Participant marks as a receiving program shows them: a shaped, top-most
// marker with the sender's name at the point, for five seconds after its last
// mark, each on its own thread; and the text a pointing participant sends.
#include "meeting/PartiMark.h"

#include "core/base/tests/QuietMeetingContext.h"
#include "core/control/ControlPacket.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

class MarkMeeting : public QuietMeetingContext {
public:
    std::vector<std::string> marks;
    bool SendPartiMarkMessage(std::string_view text) override
    {
        marks.emplace_back(text);
        return true;
    }
};

RECT WindowRect(HWND hwnd)
{
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

std::wstring TipText(HWND tip, HWND owner)
{
    wchar_t text[256] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = owner;
    tool.uId = 1;
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return text;
}

TEST(PartiMarkSend, PointAndNameGoAsOnePacketWithItsZeroByte)
{
    MarkMeeting meeting;
    PartiMark marks(&meeting);
    EXPECT_TRUE(marks.SendMark(123, 456, L"Alice"));
    EXPECT_FALSE(marks.SendMark(1, 2, L""));
    ASSERT_EQ(meeting.marks.size(), 1u);
    EXPECT_EQ(meeting.marks[0], "123,456\r\nAlice\r\n");
    std::vector<ControlPacket> packets;
    ASSERT_TRUE(BuildTextPackets(PLP_PARTI_MARK, meeting.marks[0], packets));
    ASSERT_EQ(packets.size(), 1u);
    const std::string text = "123,456\r\nAlice\r\n";
    std::vector<uint8_t> want{0x1C, 0x00, 0x00, 0x11};
    want.insert(want.end(), text.begin(), text.end());
    want.push_back(0);
    EXPECT_EQ(packets[0], want);
}

TEST(PartiMarkWindow, ReceivedMarkShowsAShapedMarkerWithItsName)
{
    QuietMeetingContext meeting;
    PartiMark marks(&meeting);
    ASSERT_GT(marks.PictureWidth(), 31);
    // A name outside ASCII arrives unchanged.
    const std::wstring name = L"Zo\u00eb \u5f20";
    marks.OnRecvMark("200,150\r\nZo\xC3\xAB \xE5\xBC\xA0\r\n");
    ASSERT_TRUE(wintest::WaitFor([&] { return marks.MarkWindow(name) && IsWindowVisible(marks.MarkWindow(name)); }, 3000));
    HWND marker = marks.MarkWindow(name);
    const RECT r = WindowRect(marker);
    EXPECT_EQ(r.left, 200);
    EXPECT_EQ(r.top, 150);
    EXPECT_EQ(r.right - r.left, marks.PictureWidth());
    EXPECT_TRUE(GetWindowLongPtrW(marker, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_NE(GetForegroundWindow(), marker) << "shown without activation";
    EXPECT_NE(GetWindowThreadProcessId(marker, nullptr), GetCurrentThreadId()) << "a thread of its own";

    // The shape leaves out the picture's red: its top-right corner is red.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(marker, region), ERROR);
    EXPECT_TRUE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, marks.PictureWidth() - 1, 0));
    DeleteObject(region);

    HWND tip = marks.TipWindow(name);
    ASSERT_TRUE(wintest::WaitFor([&] { return IsWindowVisible(tip); }, 3000));
    EXPECT_EQ(TipText(tip, marker), name);
    const RECT t = WindowRect(tip);
    EXPECT_NEAR(t.left, 200 + PartiMark::kTipX, 2);
    EXPECT_NEAR(t.top, 150 + PartiMark::kTipY, 2);
    RECT shot{190, 140, t.right + 10, t.bottom + 10};
    HWND area = CreateWindowExW(WS_EX_TRANSPARENT, L"STATIC", nullptr, WS_POPUP, shot.left, shot.top,
                                shot.right - shot.left, shot.bottom - shot.top, nullptr, nullptr, nullptr, nullptr);
    wintest::PumpFor(300);
    EXPECT_FALSE(wintest::SaveScreenshot(area, L"parti_mark", L"marker_with_name").empty());
    DestroyWindow(area);
    marks.RemoveAllMarks();
    EXPECT_FALSE(IsWindow(marker));
    EXPECT_EQ(marks.LiveMarks(), 0u);
}

// Regression: the receive thread restarted the marker's timer on another
// thread's window, which fails, so a moved mark went at its old time.
TEST(PartiMarkWindow, SecondMarkMovesItAndRestartsItsFiveSeconds)
{
    QuietMeetingContext meeting;
    PartiMark marks(&meeting);
    marks.OnRecvMark("50,60\r\nBob\r\n");
    ASSERT_TRUE(wintest::WaitFor([&] { return marks.MarkWindow(L"Bob") != nullptr; }, 3000));
    HWND first = marks.MarkWindow(L"Bob");
    const DWORD t0 = GetTickCount();
    Sleep(3000);
    marks.OnRecvMark("300,320\r\nBob\r\n");
    ASSERT_TRUE(wintest::WaitFor([&] { return WindowRect(first).left == 300; }, 2000));
    EXPECT_EQ(WindowRect(first).top, 320);
    EXPECT_EQ(marks.MarkWindow(L"Bob"), first) << "moved, not a second window";
    EXPECT_EQ(marks.LiveMarks(), 1u);
    // Past the first mark's five seconds, within the second's.
    while (GetTickCount() - t0 < 6500)
        Sleep(50);
    EXPECT_TRUE(IsWindowVisible(first));
    ASSERT_TRUE(wintest::WaitFor([&] { return marks.LiveMarks() == 0; }, 4000));
    EXPECT_GE(GetTickCount() - t0, 7500u);
    EXPECT_TRUE(wintest::WaitFor([&] { return !IsWindow(first); }, 1000));
    // After it went, a new mark opens a new window.
    marks.OnRecvMark("70,80\r\nBob\r\n");
    ASSERT_TRUE(wintest::WaitFor([&] { return marks.MarkWindow(L"Bob") != nullptr; }, 3000));
    EXPECT_EQ(WindowRect(marks.MarkWindow(L"Bob")).left, 70);
}

TEST(PartiMarkWindow, MarksThatCannotBeReadShowNothing)
{
    QuietMeetingContext meeting;
    PartiMark marks(&meeting);
    for (const char* text : {"10,10\r\nNoEnd", "10,10\r\n\r\n", "99999999999,1\r\nBig\r\n", "-60000,5\r\nOff\r\n",
                             "x,y\r\nBad\r\n", ""})
        marks.OnRecvMark(text);
    marks.OnRecvMark(nullptr);
    wintest::PumpFor(300);
    EXPECT_EQ(marks.LiveMarks(), 0u);
}

// Regressions: two marks of a new name at once started two threads and
// orphaned a window; a peer sending under many names started a thread and a
// window for each.
TEST(PartiMarkWindow, OneMarkerPerNameAndAtMostThirtyTwo)
{
    QuietMeetingContext meeting;
    PartiMark marks(&meeting);
    std::atomic<bool> go{false};
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i)
        senders.emplace_back([&, i] {
            while (!go)
                std::this_thread::yield();
            for (int k = 0; k < 25; ++k)
                marks.ShowMark(10 + i, 10 + k, L"Racer");
        });
    go = true;
    for (auto& t : senders)
        t.join();
    wintest::PumpFor(300);
    EXPECT_EQ(marks.LiveMarks(), 1u);

    for (int i = 0; i < 40; ++i)
        marks.OnRecvMark(("20,20\r\nname" + std::to_string(i) + "\r\n").c_str());
    ASSERT_TRUE(wintest::WaitFor([&] { return marks.MarkWindow(L"name30") != nullptr; }, 5000));
    EXPECT_EQ(marks.LiveMarks(), PartiMark::kMaxMarks);
    EXPECT_EQ(marks.MarkWindow(L"name35"), nullptr);
    HWND one = marks.MarkWindow(L"name3");
    marks.RemoveAllMarks();
    EXPECT_EQ(marks.LiveMarks(), 0u);
    EXPECT_FALSE(IsWindow(one));
}

} // namespace
