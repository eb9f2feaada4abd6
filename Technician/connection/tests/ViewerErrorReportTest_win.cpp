// The viewer's reported exceptions under Wine: Warning and Error show a
// message box with no owner, caption " Info", their own text and their icon;
// the test finds the box, checks it, saves a picture and closes it. Quiet
// shows nothing. (Wine leaves MB_TOPMOST out of the box's style, so the
// top-most flag is pinned where the flags are made.)
#include "Technician/connection/ViewerError.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace viewer {
namespace {

HWND WaitForBox(DWORD ms)
{
    HWND box = nullptr;
    wintest::WaitFor([&] { return (box = wintest::FindTopLevel(L"#32770", L" Info")) != nullptr; }, ms);
    return box;
}

struct IconSearch {
    HICON want;
    bool seen = false;
};

BOOL CALLBACK FindIcon(HWND child, LPARAM lp)
{
    auto* s = reinterpret_cast<IconSearch*>(lp);
    if (reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) == s->want)
        s->seen = true;
    return !s->seen;
}

TEST(ViewerErrorReport, WarningAndErrorShowABoxThatIsFoundAndClosed)
{
    const struct {
        const char* name;
        std::shared_ptr<Exception> e;
        LPCWSTR icon;
    } cases[] = {
        {"warning", std::make_shared<WarningException>("The presenter sent a message this viewer does not know."),
         IDI_EXCLAMATION},
        {"error", std::make_shared<ErrorException>("The picture could not be made: out of memory."), IDI_HAND},
    };
    for (const auto& c : cases) {
        // A copy is reported after the original is gone: its text is its own.
        std::unique_ptr<Exception> copy;
        if (auto* w = dynamic_cast<WarningException*>(c.e.get()))
            copy.reset(new WarningException(*w));
        else
            copy.reset(new ErrorException(*dynamic_cast<ErrorException*>(c.e.get())));
        const std::string text = c.e->message();
        std::atomic<bool> returned{false};
        std::thread reporter([&] {
            copy->Report();
            returned = true;
        });
        HWND box = WaitForBox(5000);
        ASSERT_NE(box, nullptr) << c.name;
        EXPECT_FALSE(returned.load()) << c.name << ": the report waits for the user";
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr) << c.name;
        // The box's text is its control 0xFFFF, on Windows and under Wine.
        EXPECT_EQ(wintest::ControlText(box, 0xFFFF), std::wstring(text.begin(), text.end())) << c.name;
        IconSearch icon{LoadIconW(nullptr, c.icon)};
        EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
        EXPECT_TRUE(icon.seen) << c.name;
        wintest::SaveScreenshot(box, L"viewer_error_report", c.icon == IDI_HAND ? L"error_box" : L"warning_box");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(wintest::WaitFor([&] { return returned.load(); }, 5000)) << c.name;
        reporter.join();
        EXPECT_FALSE(IsWindow(box)) << c.name;
    }
}

TEST(ViewerErrorReport, QuietShowsNothing)
{
    QuietException e("Socket error 10054");
    std::thread reporter([&] { e.Report(); });
    reporter.join();
    EXPECT_EQ(WaitForBox(500), nullptr);
}

} // namespace
} // namespace viewer
