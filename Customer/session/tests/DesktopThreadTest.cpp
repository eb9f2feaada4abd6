// The desktop thread on its own, reporting to a client in memory: pacing,
// wake-ups, what it asks of the client, restarts and its end.
#include "Customer/session/DesktopClient.h"
#include "Customer/session/tests/FakeHost.h"
#include "rfb/SimpleUpdateTracker.h"

#include <omnithread.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace {

constexpr int kW = 160;
constexpr int kH = 100;

class MemoryClient : public DesktopClient {
public:
    explicit MemoryClient(vncClientBuffer& buffer) : m_buffer(buffer) {}
    std::atomic<bool> wanted{true};
    std::atomic<int> triggers{0};
    std::atomic<int> stops{0};
    std::atomic<int> sizes{0};
    rfb::SimpleUpdateTracker tracker;

    bool UpdateWantedLocked() override { return wanted.load(); }
    rfb::UpdateTracker& TrackerLocked() override { return tracker; }
    void TriggerUpdateLocked() override { ++triggers; }
    void ReportInputDesktop(bool) override {}
    void NewDesktopSize(int, int) override { ++sizes; }
    void NewSharedArea(const rfb::Rect& area, bool single, bool sizeChanged) override
    {
        std::lock_guard<std::mutex> hold(areaLock);
        areas.push_back(SharedAreaCall{area, single, sizeChanged});
    }
    struct SharedAreaCall {
        rfb::Rect area;
        bool single;
        bool sizeChanged;
    };
    std::vector<SharedAreaCall> Areas()
    {
        std::lock_guard<std::mutex> hold(areaLock);
        return areas;
    }
    void EndSession() override { ++stops; }
    rfb::Region TakeChanged()
    {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        rfb::Region r = tracker.get_changed();
        tracker.clear();
        return r;
    }

private:
    vncClientBuffer& m_buffer;
    std::mutex areaLock;
    std::vector<SharedAreaCall> areas;
};

struct Rig {
    Rig() : platform(testframes::Host32(), kW, kH), desktop(&platform, testframes::Host32(), kW, kH), client(desktop.Buffer())
    {
        EXPECT_TRUE(desktop.Init());
        desktop.Attach(&client);
    }
    // The thread calls the client: it ends before the client goes.
    ~Rig() { desktop.Stop(); }
    // Waits for f, asking for a cycle all the while (as a viewer's
    // requests would).
    bool WaitFor(const std::function<bool()>& f, int ms = 3000)
    {
        for (int i = 0; i < ms / 5; ++i) {
            if (f())
                return true;
            desktop.TriggerUpdate();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return f();
    }
    void Spin(int ms)
    {
        WaitFor([] { return false; }, ms);
    }
    FakePlatform platform;
    MemoryDesktop desktop;
    MemoryClient client;
};

// Two requests in one cycle wake the thread once.
TEST(DesktopThread, TwoRequestsInOneCycleWakeItOnce)
{
    Rig rig;
    int checked = 0;
    for (int round = 0; round < 50 && checked < 5; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const uint64_t cycles = rig.desktop.Cycles();
        const int posts = rig.desktop.wakePosts.load();
        rig.desktop.TriggerUpdate();
        rig.desktop.TriggerUpdate();
        const int after = rig.desktop.wakePosts.load();
        if (rig.desktop.Cycles() != cycles)
            continue;  // a cycle began between the two: not this case
        EXPECT_LE(after - posts, 1);
        ++checked;
    }
    EXPECT_EQ(checked, 5);
}

// However often it is woken, no cycle starts less than 33 ms after the
// last; without requests the timer still runs a cycle every 100 ms.
TEST(DesktopThread, CyclesAreAtLeast33msApart)
{
    Rig rig;
    const auto start = std::chrono::steady_clock::now();
    const uint64_t first = rig.desktop.Cycles();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(660)) {
        rig.desktop.TriggerUpdate();
        rig.desktop.QueueRect(rfb::Rect(0, 0, 8, 8));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const uint64_t cycles = rig.desktop.Cycles() - first;
    EXPECT_LE(cycles, static_cast<uint64_t>(ms / ThreadedDesktop::kCycleMs + 1));
    EXPECT_GE(cycles, 8u);
    const uint64_t quiet = rig.desktop.Cycles();
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_GE(rig.desktop.Cycles() - quiet, 3u);
    EXPECT_LE(rig.desktop.Cycles() - quiet, 6u);
}

// Regression: "wanted" meant "the tracker holds changes", so once an update
// had emptied the tracker no cycle looked for changes again. Each change is
// found while the client wants an update, whatever its tracker holds, and
// nothing is grabbed while it wants none.
TEST(DesktopThread, ChangesAreFoundAfterTheTrackerWasEmptied)
{
    Rig rig;
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.client.TakeChanged().is_empty(); }));
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        testframes::Frame f = rig.desktop.screen.frame();
        for (int y = 10; y < 20; ++y)
            for (int x = 30; x < 50; ++x)
                f.setPixel(x, y, 0x00102030u * seed + static_cast<uint32_t>(x));
        rig.desktop.screen.Paint(f);
        rfb::Region got;
        ASSERT_TRUE(rig.WaitFor([&] {
            got.assign_union(rig.client.TakeChanged());
            return !got.is_empty();
        })) << seed;
        EXPECT_TRUE(got.intersect(rfb::Region(rfb::Rect(30, 10, 50, 20))).equals(rfb::Region(rfb::Rect(30, 10, 50, 20))));
    }
    rig.client.wanted.store(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    const int captures = rig.desktop.screen.captures;
    rig.desktop.screen.Paint(testframes::Desktop(testframes::Host32(), kW, kH, 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(rig.desktop.screen.captures, captures);
    EXPECT_TRUE(rig.client.TakeChanged().is_empty());
}

// Without a foreground window the grid finds a change in a window, once the
// cursor has been still, and reports that window's changed blocks.
TEST(DesktopThread, GridFindsChangesOutsideTheForegroundWindow)
{
    Rig rig;
    {
        std::lock_guard<std::mutex> hold(rig.desktop.windows.lock);
        rig.desktop.windows.foreground = 0;
        rig.desktop.windows.list = {{2, rfb::Rect(100, 0, 160, 100), false}};
    }
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.client.TakeChanged().is_empty(); }));
    // Let the cursor be still and the eight lists fill.
    rig.Spin(700);
    rig.client.TakeChanged();
    testframes::Frame f = rig.desktop.screen.frame();
    for (int y = 0; y < 100; ++y)
        for (int x = 140; x < 160; ++x)  // the partial last column of tiles
            f.setPixel(x, y, 0x00ABCDEFu);
    rig.desktop.screen.Paint(f);
    rfb::Region got;
    ASSERT_TRUE(rig.WaitFor([&] {
        got.assign_union(rig.client.TakeChanged());
        return !got.is_empty();
    }));
    EXPECT_TRUE(got.intersect(rfb::Region(rfb::Rect(0, 0, 100, 100))).is_empty());
}

// Regression: after a session's first picture the grid's first samples only
// filled its lists. A window that changed before them (one moved off the
// shared screen after a sharing restart, before the pump asked again) was
// never found, and the viewer kept the first picture until the screen
// changed there once more. The grid alone (no foreground window, no hook)
// finds it once updates are asked for again.
TEST(DesktopThread, GridFindsAChangeMadeBeforeItsFirstSamples)
{
    Rig rig;
    {
        std::lock_guard<std::mutex> hold(rig.desktop.windows.lock);
        rig.desktop.windows.foreground = 0;
        rig.desktop.windows.list = {{2, rfb::Rect(0, 0, kW, kH), false}};
    }
    // The first picture, with the cursor on the move: no grid sample yet.
    int step = 0;
    ASSERT_TRUE(rig.WaitFor([&] {
        rig.desktop.cursorX.store(++step % kW);
        return !rig.client.TakeChanged().is_empty();
    }));
    // Nobody asks for an update while the window changes.
    rig.client.wanted.store(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const rfb::Rect moved(40, 30, 80, 70);
    testframes::Frame f = rig.desktop.screen.frame();
    for (int y = moved.top; y < moved.bottom; ++y)
        for (int x = moved.left; x < moved.right; ++x)
            f.setPixel(x, y, 0x00C0FFEEu);
    rig.desktop.screen.Paint(f);
    rig.client.wanted.store(true);
    rfb::Region got;
    ASSERT_TRUE(rig.WaitFor([&] {
        got.assign_union(rig.client.TakeChanged());
        return !got.is_empty();
    })) << "the change was never found";
    EXPECT_TRUE(got.intersect(rfb::Region(moved)).equals(rfb::Region(moved)));
}

// A capture that cannot be started again ends the session.
TEST(DesktopThread, FailedRestartStopsTheSessionAndTheThread)
{
    Rig rig;
    LogCapture log;
    ASSERT_TRUE(rig.WaitFor([&] { return rig.desktop.Cycles() > 1; }));
    rig.desktop.startupFails.store(true);
    rig.desktop.RequestRestart();
    EXPECT_TRUE(rig.WaitFor([&] { return rig.client.stops.load() == 1; }));
    EXPECT_TRUE(rig.WaitFor([&] { return !rig.desktop.ThreadRunning(); }));
    EXPECT_TRUE(LogCapture::Contains("Startup KillAuthClients"));
    EXPECT_EQ(rig.client.sizes.load(), 0);
}

TEST(DesktopThread, FailedStartupFailsInit)
{
    FakePlatform platform(testframes::Host32(), kW, kH);
    MemoryDesktop desktop(&platform, testframes::Host32(), kW, kH);
    desktop.startupFails.store(true);
    EXPECT_FALSE(desktop.Init());
    EXPECT_FALSE(desktop.ThreadRunning());
}

// Stop detaches the client before it waits: nothing reaches the client
// after it, and it returns at once.
TEST(DesktopThread, StopJoinsTheThread)
{
    Rig rig;
    ASSERT_TRUE(rig.WaitFor([&] { return rig.client.triggers.load() > 0; }));
    const auto start = std::chrono::steady_clock::now();
    rig.desktop.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_FALSE(rig.desktop.ThreadRunning());
    const int triggers = rig.client.triggers.load();
    rig.desktop.screen.Paint(testframes::Desktop(testframes::Host32(), kW, kH, 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(rig.client.triggers.load(), triggers);
    EXPECT_EQ(rig.client.stops.load(), 0);
}

} // namespace

namespace {

// Which windows a cycle compares: the foreground window, the one under the
// cursor, and with the console-only setting only console windows. The grid
// is off, so only these find the change.
TEST(DesktopThread, PollingSettingsChooseTheWindowsCompared)
{
    struct Case {
        const char* name;
        ThreadedDesktop::Polling polling;
        bool console;
        bool found;
    } cases[] = {
        {"foreground", {false, true, false, false}, false, true},
        {"foreground, console only", {false, true, false, true}, false, false},
        {"console foreground, console only", {false, true, false, true}, true, true},
        {"under the cursor", {false, false, true, false}, false, true},
        {"none", {false, false, false, false}, false, false},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.desktop.SetPolling(c.polling);
        {
            std::lock_guard<std::mutex> hold(rig.desktop.windows.lock);
            rig.desktop.windows.list = {{3, rfb::Rect(0, 0, 80, 100), c.console}};
            rig.desktop.windows.foreground = 3;
        }
        rig.desktop.cursorX.store(10);
        rig.desktop.cursorY.store(10);
        ASSERT_TRUE(rig.WaitFor([&] { return !rig.client.TakeChanged().is_empty(); })) << c.name;
        testframes::Frame f = rig.desktop.screen.frame();
        for (int y = 40; y < 50; ++y)
            for (int x = 20; x < 30; ++x)
                f.setPixel(x, y, 0x00123456u);
        rig.desktop.screen.Paint(f);
        rfb::Region got;
        const bool found = rig.WaitFor(
            [&] {
                got.assign_union(rig.client.TakeChanged());
                return !got.is_empty();
            },
            600);
        EXPECT_EQ(found, c.found) << c.name;
    }
}

} // namespace

namespace {

void SetWindow(Rig& rig, std::vector<MemoryWindows::Entry> list)
{
    std::lock_guard<std::mutex> hold(rig.desktop.windows.lock);
    rig.desktop.windows.list = std::move(list);
}

// A point on a window shares that window: the client hears of the new area
// (a new size), then the whole of it and nothing outside it. A move keeps
// the size and sends the area again from its new place.
TEST(DesktopThread, SharedWindowNarrowsWhatIsReported)
{
    Rig rig;
    const rfb::Rect win(10, 10, 150, 90);
    SetWindow(rig, {{3, win, false}});
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.client.TakeChanged().is_empty(); }));
    EXPECT_EQ(rig.desktop.SetSW(50, 50, rfb::Point(50, 50)), 0);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.client.Areas().size() == 1; }));
    auto call = rig.client.Areas()[0];
    EXPECT_TRUE(call.area == win);
    EXPECT_TRUE(call.single);
    EXPECT_TRUE(call.sizeChanged);
    EXPECT_TRUE(rig.desktop.SharedRect() == win);
    rfb::Region got;
    ASSERT_TRUE(rig.WaitFor([&] {
        got.assign_union(rig.client.TakeChanged());
        return got.equals(rfb::Region(win));
    })) << "the whole window, nothing else";

    // Something changes outside the window: not reported.
    testframes::Frame f = rig.desktop.screen.frame();
    for (int y = 92; y < 98; ++y)
        for (int x = 0; x < kW; ++x)
            f.setPixel(x, y, 0x00123456u);
    rig.desktop.screen.Paint(f);
    rig.Spin(200);
    EXPECT_TRUE(rig.client.TakeChanged().is_empty());

    const rfb::Rect moved(0, 12, 140, 92);
    SetWindow(rig, {{3, moved, false}});
    ASSERT_TRUE(rig.WaitFor([&] { return rig.client.Areas().size() == 2; }));
    call = rig.client.Areas()[1];
    EXPECT_TRUE(call.area == moved);
    EXPECT_TRUE(call.single);
    EXPECT_FALSE(call.sizeChanged);
    got.clear();
    ASSERT_TRUE(rig.WaitFor([&] {
        got.assign_union(rig.client.TakeChanged());
        return got.equals(rfb::Region(moved));
    }));
}

// A shared window that ends (closed, hidden or minimised, too narrow, too
// low, grown to the whole screen, partly off the screen) gives the whole
// screen back, its new size reported once.
TEST(DesktopThread, SharedWindowThatEndsGivesBackTheWholeScreen)
{
    const rfb::Rect screen(0, 0, kW, kH);
    struct Case {
        const char* name;
        std::vector<MemoryWindows::Entry> after;
    } cases[] = {
        {"closed", {}},
        {"127 wide", {{3, rfb::Rect(10, 10, 137, 90), false}}},
        {"63 high", {{3, rfb::Rect(10, 10, 150, 73), false}}},
        {"whole screen", {{3, screen, false}}},
        {"partly off the screen", {{3, rfb::Rect(-5, 10, 135, 90), false}}},
    };
    for (const Case& c : cases) {
        Rig rig;
        SetWindow(rig, {{3, rfb::Rect(10, 10, 150, 90), false}});
        EXPECT_EQ(rig.desktop.SetSW(50, 50, rfb::Point(50, 50)), 0);
        ASSERT_TRUE(rig.WaitFor([&] { return rig.client.Areas().size() == 1; })) << c.name;
        SetWindow(rig, c.after);
        ASSERT_TRUE(rig.WaitFor([&] { return rig.client.Areas().size() == 2; })) << c.name;
        rig.Spin(150);
        const auto calls = rig.client.Areas();
        ASSERT_EQ(calls.size(), 2u) << c.name;
        EXPECT_TRUE(calls[1].area == screen) << c.name;
        EXPECT_FALSE(calls[1].single) << c.name;
        EXPECT_TRUE(calls[1].sizeChanged) << c.name;
        EXPECT_TRUE(rig.desktop.SharedRect() == screen) << c.name;
        rfb::Region got;
        EXPECT_TRUE(rig.WaitFor([&] {
            got.assign_union(rig.client.TakeChanged());
            return got.equals(rfb::Region(screen));
        })) << c.name;
    }
}

// A point on no window leaves the whole screen shared; nothing is said.
TEST(DesktopThread, PointOnNoWindowKeepsTheWholeScreen)
{
    Rig rig;
    SetWindow(rig, {});
    EXPECT_EQ(rig.desktop.SetSW(50, 50, rfb::Point(50, 50)), 0);
    rig.Spin(200);
    EXPECT_TRUE(rig.client.Areas().empty());
    EXPECT_TRUE(rig.desktop.SharedRect() == rfb::Rect(0, 0, kW, kH));
}

} // namespace
