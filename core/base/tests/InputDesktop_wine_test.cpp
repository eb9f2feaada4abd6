// SelectInputDesktop under Wine, whose input desktop is "Default": the thread
// ends up there, its desktop handle stays usable, and neither repeated calls
// nor failed switches pile up desktop handles.
#include "core/base/InputDesktop.h"
#include "core/base/DesktopSelect_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

std::wstring DesktopName(HDESK desktop)
{
    wchar_t name[256];
    DWORD needed = 0;
    if (!GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof name, &needed))
        return std::wstring();
    return name;
}

HDESK ThreadDesktop()
{
    return GetThreadDesktop(GetCurrentThreadId());
}

// Handles are handed out from the lowest free slot (Wine) or the last one
// freed (Windows): when a call leaves nothing open behind, a handle opened
// after it gets the value of one opened and closed just before it.
HANDLE ProbeHandle()
{
    HANDLE probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CloseHandle(probe);
    return probe;
}

// A second desktop for a thread to start from.
struct OtherDesktop {
    OtherDesktop() : handle(CreateDesktopW(L"CorviskTestDesk", nullptr, nullptr, 0, GENERIC_ALL, nullptr)) {}
    ~OtherDesktop()
    {
        if (handle)
            CloseDesktop(handle);
    }
    HDESK handle;
};

TEST(SelectInputDesktop, AttachesTheThreadToDefault)
{
    EXPECT_EQ(SelectInputDesktop(), 1);
    EXPECT_EQ(DesktopName(ThreadDesktop()), L"Default");
}

TEST(SelectInputDesktop, SwitchesFromAnotherDesktopAndClosesWhatItReplaces)
{
    OtherDesktop other;
    ASSERT_TRUE(other.handle);
    HDESK held = nullptr;
    std::thread([&] {
        ASSERT_TRUE(SetThreadDesktop(other.handle));
        ASSERT_EQ(DesktopName(ThreadDesktop()), L"CorviskTestDesk");

        EXPECT_EQ(SelectInputDesktop(), 1);
        EXPECT_NE(ThreadDesktop(), other.handle);
        EXPECT_EQ(DesktopName(ThreadDesktop()), L"Default");

        // The sharing host calls this over and over on its threads: each call
        // closes the handle it replaces and keeps the new one usable.
        for (int i = 0; i < 50; ++i) {
            HDESK previous = ThreadDesktop();
            ASSERT_EQ(SelectInputDesktop(), 1);
            held = ThreadDesktop();
            EXPECT_NE(held, previous);
            EXPECT_EQ(DesktopName(previous), L"");
            EXPECT_EQ(DesktopName(held), L"Default");
        }
    }).join();
    // The handle in use went with the thread; the one it started on is untouched.
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(DesktopName(held), L"");
    EXPECT_EQ(DesktopName(other.handle), L"CorviskTestDesk");
}

// A thread with a hook on its desktop cannot change desktops: the call fails
// and the input desktop's handle it opened is closed again.
TEST(SelectInputDesktop, FailedSwitchClosesTheOpenedHandle)
{
    OtherDesktop other;
    ASSERT_TRUE(other.handle);
    std::thread([&] {
        ASSERT_TRUE(SetThreadDesktop(other.handle));
        HHOOK hook = SetWindowsHookExW(
            WH_GETMESSAGE, [](int code, WPARAM w, LPARAM l) { return CallNextHookEx(nullptr, code, w, l); },
            nullptr, GetCurrentThreadId());
        ASSERT_TRUE(hook);
        if (SetThreadDesktop(other.handle) && SelectInputDesktop() == 1) {
            UnhookWindowsHookEx(hook);
            GTEST_SKIP() << "this system lets a hooked thread change desktops";
        }
        for (int i = 0; i < 20; ++i) {
            HANDLE before = ProbeHandle();
            EXPECT_EQ(SelectInputDesktop(), 0);
            EXPECT_EQ(ProbeHandle(), before);
        }
        EXPECT_EQ(ThreadDesktop(), other.handle);
        UnhookWindowsHookEx(hook);
    }).join();
}

TEST(InputDesktopSelected, OffOnAnotherDesktopOnAfterSelectDesktop)
{
    OtherDesktop other;
    ASSERT_TRUE(other.handle);
    std::thread([&] {
        ASSERT_TRUE(SetThreadDesktop(other.handle));
        DWORD openError = 1;
        EXPECT_EQ(InputDesktopSelected(OpenInputDesktop, &openError), 0);
        EXPECT_EQ(openError, 0u);
        EXPECT_EQ(SelectDesktop(nullptr), 1);
        EXPECT_EQ(InputDesktopSelected(), 1);
        EXPECT_EQ(DesktopName(ThreadDesktop()), L"Default");
        // By name, back and forth.
        EXPECT_EQ(SelectDesktop("CorviskTestDesk"), 1);
        EXPECT_EQ(InputDesktopSelected(), 0);
        EXPECT_EQ(SelectDesktop("Default"), 1);
        EXPECT_EQ(InputDesktopSelected(), 1);
        EXPECT_EQ(SelectDesktop("NoSuchDesktop"), 0);
        EXPECT_EQ(DesktopName(ThreadDesktop()), L"Default");
    }).join();
}

// An input desktop that is being switched (ERROR_BUSY) counts as selected;
// one the process may not open does not, and the caller learns why.
TEST(InputDesktopSelected, BusyCountsAsSelected)
{
    struct Fails {
        static HDESK WINAPI Busy(DWORD, BOOL, ACCESS_MASK)
        {
            SetLastError(ERROR_BUSY);
            return nullptr;
        }
        static HDESK WINAPI Denied(DWORD, BOOL, ACCESS_MASK)
        {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
    };
    DWORD error = 0;
    EXPECT_EQ(InputDesktopSelected(&Fails::Busy, &error), 1);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(InputDesktopSelected(&Fails::Denied, &error), 0);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

} // namespace
