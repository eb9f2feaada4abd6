// A platform and desktop in memory for session tests: the screen is a test
// frame, injected input is recorded, the server event is counted, and the
// input desktop can be taken away.
#pragma once

#include "Customer/session/ThreadedDesktop.h"
#include "Customer/encode/HostLog.h"
#include "Customer/tests/MemoryScreen.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

// Windows of a desktop in memory: by default one foreground window that
// covers the screen, so every cycle compares the whole screen.
class MemoryWindows : public DesktopWindows {
public:
    struct Entry {
        Window id;
        rfb::Rect rect;
        bool console;
    };
    explicit MemoryWindows(const rfb::Rect& screen) : list{{1, screen, false}} {}

    std::mutex lock;
    std::vector<Entry> list;  // top first
    Window foreground = 1;
    int topLevelCalls = 0;

    Window TopLevelAt(int x, int y) override
    {
        std::lock_guard<std::mutex> hold(lock);
        ++topLevelCalls;
        for (const Entry& e : list)
            if (x >= e.rect.left && x < e.rect.right && y >= e.rect.top && y < e.rect.bottom)
                return e.id;
        return 0;
    }
    bool VisibleRect(Window w, rfb::Rect& r) override
    {
        std::lock_guard<std::mutex> hold(lock);
        for (const Entry& e : list)
            if (e.id == w) {
                r = e.rect;
                return true;
            }
        return false;
    }
    Window Foreground() override
    {
        std::lock_guard<std::mutex> hold(lock);
        return foreground;
    }
    bool IsConsole(Window w) override
    {
        std::lock_guard<std::mutex> hold(lock);
        for (const Entry& e : list)
            if (e.id == w)
                return e.console;
        return false;
    }
};

class MemoryDesktop : public ThreadedDesktop {
public:
    MemoryDesktop(HostPlatform* platform, const rfb::PixelFormat& pf, int w, int h)
        : ThreadedDesktop(platform), screen(pf, w, h), windows(rfb::Rect(0, 0, w, h))
    {
    }
    ~MemoryDesktop() override { Stop(); }

    MemoryScreen screen;
    MemoryWindows windows;
    std::mutex recordLock;
    std::vector<uint32_t> keys;
    std::vector<PointerInput> pointers;
    std::string clipText;
    // Reported by the next cycle as they are, as a capture that found them
    // would report them.
    bool pendingCopy = false;
    rfb::Rect copyDest;
    rfb::Point copyDelta;
    rfb::Region pendingChanged;
    rfb::Region pendingCached;
    // The shared part of the screen; empty: the whole screen.
    rfb::Rect shared;
    CursorImage cursor;
    bool cursorReadable = true;
    std::atomic<int> cursorX{5};
    std::atomic<int> cursorY{5};
    std::atomic<bool> cursorShapeChange{false};
    // Set before a restart: the screen after it (a display change).
    std::unique_ptr<MemoryScreen> resized;
    // Capture starts (or restarts) fail while set.
    std::atomic<bool> startupFails{false};
    std::atomic<int> startups{0};
    // Failures inside the desktop's work, as the client thread (input), the
    // desktop thread (capture) and the update sender (GetCursor) meet them:
    // an allocation failure, or a type that derives from nothing (as
    // omni_thread_fatal does).
    struct NotAStdException {
    };
    std::atomic<bool> inputThrows{false};
    std::atomic<bool> captureThrows{false};
    std::atomic<bool> cursorThrows{false};
    std::atomic<bool> throwForeign{false};
    // While set, a key event holds the client thread inside the desktop, as
    // an input call that does not return would; keyHeld says it is there.
    std::atomic<bool> holdKeys{false};
    std::atomic<bool> keyHeld{false};
    std::atomic<int> wakePosts{0};
    std::atomic<int> keyReleases{0};

    rfb::Rect SharedRect() const override { return shared.is_empty() ? ThreadedDesktop::SharedRect() : shared; }
    bool GetCursor(CursorImage& out) override
    {
        if (cursorThrows.load())
            Fail();
        out = cursor;
        return cursorReadable;
    }
    rfb::Rect CursorRect() override { return rfb::Rect(0, 0, 16, 16); }
    void InjectKey(uint32_t keysym, bool down) override
    {
        if (inputThrows.load())
            Fail();
        while (holdKeys.load()) {
            keyHeld.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard<std::mutex> hold(recordLock);
        keys.push_back(keysym | (down ? 0x80000000u : 0));
    }
    void ReleaseHeldKeys() override { ++keyReleases; }
    void InjectPointer(const PointerInput& input, bool) override
    {
        std::lock_guard<std::mutex> hold(recordLock);
        pointers.push_back(input);
    }
    bool SwapButtons() override { return false; }
    void ReleaseLockKeys() override {}
    void SetClipText(const std::string& text) override
    {
        std::lock_guard<std::mutex> hold(recordLock);
        clipText = text;
    }
    bool BlankScreen(bool) override { return false; }

protected:
    bool Startup() override
    {
        ++startups;
        if (startupFails.load())
            return false;
        Buffer().SetSource(resized ? resized.get() : &screen);
        return true;
    }
    void ShutdownCapture() override {}
    DesktopWindows& Windows() override { return windows; }
    bool CursorPos(rfb::Point& p) override
    {
        if (captureThrows.load())
            Fail();
        p = rfb::Point(cursorX.load(), cursorY.load());
        return true;
    }
    bool CursorShapeChanged() override { return cursorShapeChange.exchange(false); }
    bool FindCopy(WindowCopy& copy) override
    {
        if (!pendingCopy)
            return ThreadedDesktop::FindCopy(copy);
        copy.dest = copyDest;
        copy.delta = copyDelta;
        copy.previous = rfb::Rect();
        pendingCopy = false;
        return true;
    }
    void AddReportedChanges(rfb::UpdateTracker& tracker) override
    {
        if (!pendingChanged.is_empty())
            tracker.add_changed(pendingChanged);
        if (!pendingCached.is_empty())
            tracker.add_cached(pendingCached);
        pendingChanged.clear();
        pendingCached.clear();
    }
    void PostWake() override
    {
        ++wakePosts;
        ThreadedDesktop::PostWake();
    }

private:
    void Fail()
    {
        if (throwForeign.load())
            throw NotAStdException{};
        throw std::bad_alloc();
    }
};

class FakePlatform : public HostPlatform {
public:
    FakePlatform(const rfb::PixelFormat& pf, int w, int h) : m_pf(pf), m_w(w), m_h(h) {}

    std::atomic<MemoryDesktop*> desktop{nullptr};
    std::atomic<bool> inputDesktop{true};
    std::atomic<bool> inputAccessDenied{false};
    // Times the thread's own desktop was remembered, and how many
    // rememberings the last restore followed (0: never restored).
    std::atomic<int> desktopRemembered{0};
    std::atomic<int> desktopRestoredAfter{0};
    std::atomic<int> monitors{1};
    testframes::Frame initialFrame;

    std::unique_ptr<HostDesktop> MakeDesktop() override
    {
        if (desktopFails.load())
            return nullptr;
        auto d = std::make_unique<MemoryDesktop>(this, m_pf, m_w, m_h);
        if (initialFrame.width)
            d->screen.Paint(initialFrame);
        desktop.store(d.get());
        return d;
    }
    // The event as the manager sees it: auto-reset, so a signal is taken by
    // one wait; Events() counts every signal ever given.
    void SignalServerEvent() override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        ++m_events;
        m_set = true;
        m_cv.notify_all();
    }
    void ResetServerEvent() override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_set = false;
    }
    // The manager's start check: waits for the event and takes it.
    bool TakeEvent(int timeoutMs)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        bool got = m_cv.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return m_set; });
        m_set = false;
        return got;
    }
    std::atomic<bool> desktopFails{false};
    bool WaitEvents(int count, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_cv.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return m_events >= count; });
    }
    int Events()
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_events;
    }
    int MonitorCount() override { return monitors.load(); }
    int OsClass() override { return 2; }
    InputDesktop InputDesktopSelected() override
    {
        if (inputAccessDenied.load())
            return InputDesktop::AccessDenied;
        return inputDesktop.load() ? InputDesktop::Selected : InputDesktop::Elsewhere;
    }
    bool AttachToInputDesktop() override { return inputDesktop.load(); }
    void RememberThreadDesktop() override { ++desktopRemembered; }
    void RestoreThreadDesktop() override { desktopRestoredAfter.store(desktopRemembered.load()); }
    void RaiseThreadPriority() override {}
    uint32_t TickCount() override { return 1; }

private:
    rfb::PixelFormat m_pf;
    int m_w, m_h;
    std::mutex m_lock;
    std::condition_variable m_cv;
    int m_events = 0;
    bool m_set = false;
};

// Collects the host's log lines while it lives.
class LogCapture {
public:
    LogCapture() { m_previous = SetHostLogSink(&LogCapture::Sink); }
    ~LogCapture() { SetHostLogSink(m_previous); }
    static bool Contains(const std::string& text)
    {
        std::lock_guard<std::mutex> hold(Lock());
        for (const std::string& l : Lines())
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
    static void Clear()
    {
        std::lock_guard<std::mutex> hold(Lock());
        Lines().clear();
    }

private:
    static std::mutex& Lock()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& Lines()
    {
        static std::vector<std::string> lines;
        return lines;
    }
    static void Sink(int, const char* line)
    {
        std::lock_guard<std::mutex> hold(Lock());
        Lines().push_back(line);
    }
    HostLogSink m_previous;
};
