// A platform and desktop in memory for session tests: the screen is a test
// frame, injected input is recorded, the server event is counted, and the
// input desktop can be taken away.
#pragma once

#include "Customer/session/HostDesktop.h"
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

class MemoryDesktop : public HostDesktop {
public:
    MemoryDesktop(const rfb::PixelFormat& pf, int w, int h) : screen(pf, w, h) {}

    MemoryScreen screen;
    std::mutex recordLock;
    std::vector<uint32_t> keys;
    std::vector<PointerInput> pointers;
    std::string clipText;
    bool pendingCopy = false;
    rfb::Rect copyDest;
    rfb::Point copyDelta;
    // Reported at the next poll as they are, as a capture that found them
    // would report them.
    rfb::Region pendingChanged;
    rfb::Region pendingCached;
    // The shared part of the screen; empty: the whole screen.
    rfb::Rect shared;
    CursorImage cursor;
    bool cursorReadable = true;
    // Failures inside the desktop's work, as the client thread (Poll) and
    // the update sender (GetCursor) meet them: an allocation failure, or a
    // type that derives from nothing (as omni_thread_fatal does).
    struct NotAStdException {
    };
    std::atomic<bool> pollThrows{false};
    std::atomic<bool> cursorThrows{false};
    std::atomic<bool> throwForeign{false};
    // While set, a key event holds the client thread inside the desktop, as
    // an input call that does not return would; keyHeld says it is there.
    std::atomic<bool> holdKeys{false};
    std::atomic<bool> keyHeld{false};

    bool Init() override
    {
        m_buffer.SetSource(&screen);
        return m_buffer.CheckBuffer();
    }
    vncClientBuffer& Buffer() override { return m_buffer; }
    rfb::Rect ScreenRect() const override { return rfb::Rect(0, 0, screen.Info().width, screen.Info().height); }
    rfb::Rect SharedRect() const override { return shared.is_empty() ? ScreenRect() : shared; }
    void Poll(const rfb::Region& region, rfb::UpdateTracker& tracker) override
    {
        if (pollThrows.load())
            Fail();
        if (pendingCopy) {
            tracker.add_copied(rfb::Region(copyDest), copyDelta);
            m_buffer.CopyRect(copyDest, copyDelta);
            pendingCopy = false;
        }
        if (!pendingChanged.is_empty())
            tracker.add_changed(pendingChanged);
        if (!pendingCached.is_empty())
            tracker.add_cached(pendingCached);
        pendingChanged.clear();
        pendingCached.clear();
        m_buffer.GrabRegion(region, SharedRect());
        rfb::Region changed, cached;
        m_buffer.CheckRegion(region, changed, cached);
        if (!changed.is_empty())
            tracker.add_changed(changed);
        if (!cached.is_empty())
            tracker.add_cached(cached);
    }
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
        while (holdKeys.load()) {
            keyHeld.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::lock_guard<std::mutex> hold(recordLock);
        keys.push_back(keysym | (down ? 0x80000000u : 0));
    }
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
    bool SetShareMode(int) override { return false; }
    void ShareMonitorAt(int, int) override {}

private:
    void Fail()
    {
        if (throwForeign.load())
            throw NotAStdException{};
        throw std::bad_alloc();
    }

    vncClientBuffer m_buffer;
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
        auto d = std::make_unique<MemoryDesktop>(m_pf, m_w, m_h);
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
