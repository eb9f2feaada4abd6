// The presenter's desktop with its own thread: a paced loop that gathers
// what may have changed (queued rectangles, the poll grid, the foreground
// window, window moves), grabs it, keeps what really changed and hands it to
// the client. The client thread only queues rectangles and asks for a cycle.
//
// A platform desktop supplies the capture (Startup), the windows, the cursor
// and, when it has one, its own event queue; the defaults here wait on a
// condition, which is what a desktop in memory uses.
#pragma once

#include "Customer/capture/PollGrid.h"
#include "Customer/capture/SharedArea.h"
#include "Customer/capture/WindowMoveDetector.h"
#include "Customer/session/HostDesktop.h"

#include <atomic>
#include <cstdint>
#include <memory>

class DesktopClient;
class ThreadedDesktopThread;
class omni_mutex;
class omni_condition;

class ThreadedDesktop : public HostDesktop {
public:
    // No cycle starts sooner than this after the last one.
    static constexpr uint32_t kCycleMs = 33;
    // A cycle runs at least this often while the thread waits.
    static constexpr uint32_t kTimerMs = 100;
    // The grid runs once the cursor has been still this long.
    static constexpr uint32_t kCursorStillMs = 300;
    // Longest wait for the thread to end.
    static constexpr unsigned kJoinMs = 5000;

    struct Polling {
        bool fullScreen = true;
        bool foreground = true;
        bool underCursor = false;
        bool consoleOnly = false;
    };

    explicit ThreadedDesktop(HostPlatform* platform);
    ~ThreadedDesktop() override;
    ThreadedDesktop(const ThreadedDesktop&) = delete;
    ThreadedDesktop& operator=(const ThreadedDesktop&) = delete;

    bool Init() override;
    void Attach(DesktopClient* client) override;
    void Stop() override;
    vncClientBuffer& Buffer() override { return m_buffer; }
    rfb::Rect ScreenRect() const override { return rfb::Rect(0, 0, m_width.load(), m_height.load()); }
    // The whole screen until the viewer chooses a window or a display.
    rfb::Rect SharedRect() const override;
    void QueueRect(const rfb::Rect& rect) override;
    void TriggerUpdate() override;
    int SetSW(int x, int y, const rfb::Point& at) override;

    // From any thread; read by the next cycle.
    void SetPolling(const Polling& p);
    // The desktop restarts its capture on the next cycle (a display change).
    void RequestRestart() { m_restart.store(true); }
    bool ThreadRunning() const { return m_running.load(); }
    uint64_t Cycles() const { return m_cycles.load(); }

    // Thread body. A derived desktop calls Stop() in its destructor: the
    // thread uses what the derived part holds.
    void Run();

protected:
    // On the desktop thread, with the update lock held: builds the capture
    // (the buffer's source) and frees it. A restart calls both again.
    virtual bool Startup() = 0;
    virtual void ShutdownCapture() = 0;
    virtual DesktopWindows& Windows() = 0;
    virtual bool CursorPos(rfb::Point& p) = 0;
    // Once per cycle: whether the cursor's shape changed since the last call.
    virtual bool CursorShapeChanged() { return false; }
    // Sampling for the grid, with the update lock held: brings rect of the
    // screen into the main buffer (one grab), then reads pixels from there.
    virtual bool BeginSampling(const rfb::Rect& rect);
    uint32_t Sample(int x, int y) const;
    // A copy known before the compare (a moved window); with the update
    // lock held.
    virtual bool FindCopy(WindowCopy& copy);
    // Changes a source reports as they are (cached areas included), added
    // to the cycle's tracker after the compare; with the update lock held.
    virtual void AddReportedChanges(rfb::UpdateTracker&) {}

    // What lies under a point the viewer chose (ScreenRect's coordinates).
    // The default knows windows only, through Windows().
    virtual PointTarget ResolvePoint(const rfb::Point& at);
    // A display's part of the captured screen; the default has one display.
    virtual rfb::Rect DisplayArea(uint8_t selection);

    // At the thread's very end, after the last ShutdownCapture.
    virtual void ThreadEnd() {}

    // Event plumbing. The defaults use a condition; a desktop with a window
    // message queue uses that instead.
    // Takes every queued event; rectangles join changed. False: quit.
    virtual bool Pump(rfb::Region& changed);
    // Sleeps until an event arrives or kTimerMs pass; false on failure.
    virtual bool WaitForEvents();
    virtual void PostWake();
    virtual void PostQueuedRect(const rfb::Rect& rect);
    virtual void PostQuit();
    virtual uint32_t Now();
    virtual void SleepMs(uint32_t ms);

    // Tells Init how start-up went; called once by Run.
    void SignalResult(bool ok);
    const Polling PollingSettings();

private:
    void RunLoop();
    bool Cycle(uint32_t now);
    bool CheckInputDesktop();
    bool Restart();
    void PollWindow(DesktopWindows::Window w, ChangedWindows& marks);
    void Capture(const rfb::Region& changed);
    void NoteScreenSize();
    void FollowSharedArea();
    uint32_t PixelAt(const FrameView& v, int x, int y) const;
    // What the viewer was last given at a point of the screen: the back
    // buffer there. With the update lock held.
    uint32_t SentSample(int x, int y) const;
    void SetSharedArea(const rfb::Rect& area, bool single);

    HostPlatform* m_platform;
    vncClientBuffer m_buffer;
    DesktopClient* m_client = nullptr;  // guarded by the update lock
    std::atomic<int> m_width{0};
    std::atomic<int> m_height{0};

    // Start-up handshake, queued rectangles, wake and quit marks.
    std::unique_ptr<omni_mutex> m_eventLock;
    std::unique_ptr<omni_condition> m_eventCond;
    bool m_resultSet = false;
    bool m_result = false;
    rfb::Region m_queued;
    bool m_wake = false;
    bool m_quit = false;
    bool m_done = false;
    Polling m_polling;

    ThreadedDesktopThread* m_thread = nullptr;
    std::atomic<bool> m_triggered{false};
    std::atomic<bool> m_restart{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_quitAsked{false};
    std::atomic<uint64_t> m_cycles{0};
    bool m_inputLost = false;

    // The viewer's choice, under the event lock; chosen: a display or a
    // window was chosen at least once (until then the whole capture).
    DisplaySelection m_selection;
    bool m_chosen = false;
    // The shared area, under its own lock (read from any thread, the
    // update lock held or not); empty: the whole screen.
    std::unique_ptr<omni_mutex> m_sharedLock;
    rfb::Rect m_shared;

    // Desktop thread only.
    rfb::Region m_pending;
    PollGrid m_grid;
    WindowMoveDetector m_mover;
    SharedWindowTracker m_windowTracker;
    bool m_singleWindow = false;
    // The display selection the shared area was last made from; 0: none.
    uint8_t m_areaDisplay = 0;
    uint32_t m_lastCycle = 0;
    uint32_t m_lastCursorMove = 0;
    rfb::Point m_lastCursor;
    bool m_haveCursor = false;
};
