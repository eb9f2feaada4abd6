#include "Customer/session/ThreadedDesktop.h"

#include "Customer/encode/HostLog.h"
#include "Customer/session/DesktopClient.h"
#include "rfb/ClippedUpdateTracker.h"
#include "rfb/SimpleUpdateTracker.h"

#include <omnithread.h>

#include <chrono>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

class ThreadedDesktopThread : public omni_thread {
public:
    explicit ThreadedDesktopThread(ThreadedDesktop* desktop) : m_desktop(desktop) {}
    void Start() { start_undetached(); }

private:
    // Anything leaving an omni_thread ends the process.
    void* run_undetached(void*) override
    {
        try {
            m_desktop->Run();
        } catch (...) {
            HostLog(kHostLogError, "desktop thread ended: unknown exception\n");
        }
        return nullptr;
    }
    ThreadedDesktop* m_desktop;
};

ThreadedDesktop::ThreadedDesktop(HostPlatform* platform)
    : m_platform(platform), m_eventLock(std::make_unique<omni_mutex>()),
      m_eventCond(std::make_unique<omni_condition>(m_eventLock.get())),
      m_sharedLock(std::make_unique<omni_mutex>())
{
}

ThreadedDesktop::~ThreadedDesktop()
{
    Stop();
}

bool ThreadedDesktop::Init()
{
    HostLog(kHostLogDebugInfo, "initialising desktop handler\n");
    m_thread = new ThreadedDesktopThread(this);
    m_thread->Start();
    bool ok;
    {
        omni_mutex_lock hold(*m_eventLock);
        while (!m_resultSet)
            m_eventCond->wait();
        ok = m_result;
    }
    if (!ok) {
        // The thread ends right after reporting a failed start-up.
        m_thread->join(nullptr);
        m_thread = nullptr;
    }
    return ok;
}

void ThreadedDesktop::SignalResult(bool ok)
{
    omni_mutex_lock hold(*m_eventLock);
    m_resultSet = true;
    m_result = ok;
    m_eventCond->broadcast();
}

void ThreadedDesktop::Attach(DesktopClient* client)
{
    omni_mutex_lock hold(m_buffer.UpdateLock());
    m_client = client;
}

void ThreadedDesktop::Stop()
{
    if (!m_thread)
        return;
    Attach(nullptr);
    m_quitAsked.store(true);
    PostQuit();
    bool done;
    {
        omni_mutex_lock hold(*m_eventLock);
        unsigned long s, ns;
        omni_thread::get_time(&s, &ns, kJoinMs / 1000, (kJoinMs % 1000) * 1000000ul);
        while (!m_done)
            if (!m_eventCond->timedwait(s, ns))
                break;
        done = m_done;
    }
    if (!done) {
        // It no longer reaches the client; the thread is left, not freed.
        HostLog(kHostLogError, "desktop thread did not end in %u ms\n", kJoinMs);
        m_thread = nullptr;
        return;
    }
    m_thread->join(nullptr);
    m_thread = nullptr;
}

void ThreadedDesktop::QueueRect(const rfb::Rect& rect)
{
    PostQueuedRect(rect);
}

void ThreadedDesktop::TriggerUpdate()
{
    // One wake-up per cycle, however many requests arrive in it.
    if (!m_triggered.exchange(true))
        PostWake();
}

rfb::Rect ThreadedDesktop::SharedRect() const
{
    omni_mutex_lock hold(*m_sharedLock);
    return m_shared.is_empty() ? ScreenRect() : m_shared;
}

int ThreadedDesktop::SetSW(int x, int y, const rfb::Point& at)
{
    int result;
    {
        omni_mutex_lock hold(*m_eventLock);
        result = m_selection.SetSW(x, y, [this, &at] { return ResolvePoint(at); });
        if (result == 0)
            m_chosen = true;
    }
    PostWake();
    return result;
}

PointTarget ThreadedDesktop::ResolvePoint(const rfb::Point& at)
{
    PointTarget target;
    const DesktopWindows::Window w = Windows().TopLevelAt(at.x, at.y);
    if (w) {
        target.kind = PointTarget::Kind::Window;
        target.topLevel = static_cast<uintptr_t>(w);
    }
    return target;
}

rfb::Rect ThreadedDesktop::DisplayArea(uint8_t)
{
    return ScreenRect();
}

void ThreadedDesktop::SetPolling(const Polling& p)
{
    omni_mutex_lock hold(*m_eventLock);
    m_polling = p;
}

const ThreadedDesktop::Polling ThreadedDesktop::PollingSettings()
{
    omni_mutex_lock hold(*m_eventLock);
    return m_polling;
}

bool ThreadedDesktop::Pump(rfb::Region& changed)
{
    omni_mutex_lock hold(*m_eventLock);
    changed.assign_union(m_queued);
    m_queued.clear();
    return !m_quit;
}

bool ThreadedDesktop::WaitForEvents()
{
    omni_mutex_lock hold(*m_eventLock);
    if (!m_wake && !m_quit && m_queued.is_empty()) {
        unsigned long s, ns;
        omni_thread::get_time(&s, &ns, 0, kTimerMs * 1000000ul);
        m_eventCond->timedwait(s, ns);
    }
    m_wake = false;
    return true;
}

void ThreadedDesktop::PostWake()
{
    omni_mutex_lock hold(*m_eventLock);
    m_wake = true;
    m_eventCond->broadcast();
}

void ThreadedDesktop::PostQueuedRect(const rfb::Rect& rect)
{
    omni_mutex_lock hold(*m_eventLock);
    m_queued.assign_union(rfb::Region(rect));
    m_eventCond->broadcast();
}

void ThreadedDesktop::PostQuit()
{
    omni_mutex_lock hold(*m_eventLock);
    m_quit = true;
    m_eventCond->broadcast();
}

uint32_t ThreadedDesktop::Now()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void ThreadedDesktop::SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ThreadedDesktop::NoteScreenSize()
{
    m_width.store(m_buffer.Screen().width);
    m_height.store(m_buffer.Screen().height);
}

void ThreadedDesktop::Run()
{
    try {
        RunLoop();
    } catch (const std::exception& e) {
        HostLog(kHostLogError, "desktop thread ended: %s\n", e.what());
    } catch (...) {
        // omni_thread_fatal and anything else: the session ends, not the process.
        HostLog(kHostLogError, "desktop thread ended: unknown exception\n");
    }
    // Set once start-up succeeded, whatever ended the loop.
    const bool started = m_running.exchange(false);
    {
        omni_mutex_lock hold(*m_eventLock);
        if (!m_resultSet) {
            m_resultSet = true;
            m_result = false;
            m_eventCond->broadcast();
        }
    }
    if (started) {
        HostLog(kHostLogDebugInfo, "quitting desktop server thread\n");
        {
            omni_mutex_lock hold(m_buffer.UpdateLock());
            // A thread that ends before it was asked to leaves no frozen picture.
            if (m_client && !m_quitAsked.load())
                m_client->EndSession();
            ShutdownCapture();
        }
        ThreadEnd();
    }
    omni_mutex_lock hold(*m_eventLock);
    m_done = true;
    m_eventCond->broadcast();
}

void ThreadedDesktop::RunLoop()
{
    bool ok;
    {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        ok = Startup() && m_buffer.CheckBuffer();
        if (ok)
            NoteScreenSize();
        else
            ShutdownCapture();
    }
    if (!ok)
        HostLog(kHostLogError, "desktop start-up failed\n");
    SignalResult(ok);
    if (!ok)
        return;
    m_running.store(true);
    m_pending.assign_union(rfb::Region(ScreenRect()));
    m_lastCycle = Now() - kCycleMs;
    m_lastCursorMove = m_lastCycle;
    for (;;) {
        if (!Pump(m_pending))
            break;
        const uint32_t now = Now();
        const uint32_t since = now - m_lastCycle;
        if (since < kCycleMs) {
            SleepMs(kCycleMs - since);
            continue;
        }
        m_lastCycle = now;
        m_triggered.store(false);
        ++m_cycles;
        if (!Cycle(now))
            break;
        if (!WaitForEvents()) {
            HostLog(kHostLogError, "WaitMessage() failed\n");
            break;
        }
    }
}

// Returns false while the input desktop is out of reach: nothing is captured
// then, and the viewer has been told once.
bool ThreadedDesktop::CheckInputDesktop()
{
    if (!m_platform)
        return true;
    const bool lost = m_platform->InputDesktopSelected() == HostPlatform::InputDesktop::Elsewhere;
    if (lost == m_inputLost)
        return !lost;
    m_inputLost = lost;
    DesktopClient* client;
    {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        client = m_client;
    }
    // Stop() detaches the client before it waits for this thread, so the
    // client outlives this call.
    if (client)
        client->ReportInputDesktop(lost);
    if (!lost) {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        m_buffer.MarkStale(ScreenRect());
        m_pending.assign_union(rfb::Region(ScreenRect()));
    }
    return !lost;
}

bool ThreadedDesktop::Restart()
{
    HostLog(kHostLogInfo, "++++Screensize changed \n");
    const rfb::Rect before = ScreenRect();
    bool ok;
    {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        HostLog(kHostLogDebugInfo, "m_desktop->Shutdown\n");
        ShutdownCapture();
        HostLog(kHostLogDebugInfo, "m_desktop->Startup\n");
        ok = Startup() && m_buffer.CheckBuffer();
        if (ok) {
            NoteScreenSize();
            m_grid.Clear();
            m_mover.Forget();
            m_buffer.ClearCache();
            m_buffer.MarkStale(ScreenRect());
            m_pending = rfb::Region(ScreenRect());
        }
    }
    if (!ok) {
        // The thread ends, and with it the session (Run): a picture that
        // can no longer be captured never stays frozen on the viewer's screen.
        HostLog(kHostLogError, "Startup KillAuthClients\n");
        return false;
    }
    DesktopClient* client;
    {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        client = m_client;
    }
    const rfb::Rect now = ScreenRect();
    if (!(now == before)) {
        HostLog(kHostLogInfo, "SCR: new screen format %dx%dx%d\n", now.width(), now.height(),
                m_buffer.Screen().format.bitsPerPixel);
        if (client)
            client->NewDesktopSize(now.width(), now.height());
        // The viewer has the whole new screen; the next cycle finds the
        // shared part of it again.
        bool narrowed;
        {
            omni_mutex_lock hold(*m_sharedLock);
            narrowed = !m_shared.is_empty();
            m_shared = rfb::Rect();
        }
        m_singleWindow = false;
        m_areaDisplay = 0;
        if (narrowed && client)
            client->NewSharedArea(now, false, false);
    }
    return true;
}

// Desktop thread: the shared area follows the viewer's choice and, for a
// window, where the window is now. A window closed, hidden, minimised,
// grown to the whole screen, too small or partly off the screen ends the
// sharing of it: the whole screen is shared again.
void ThreadedDesktop::FollowSharedArea()
{
    uintptr_t window;
    uint8_t display;
    bool chosen;
    {
        omni_mutex_lock hold(*m_eventLock);
        window = m_selection.SharedWindow();
        display = m_selection.Requested();
        chosen = m_chosen;
    }
    if (!chosen)
        return;
    const rfb::Rect screen = ScreenRect();
    if (window) {
        WindowState state;
        state.exists = state.visible = state.haveRect =
            Windows().VisibleRect(static_cast<DesktopWindows::Window>(window), state.rect);
        const SharedWindowCheck check = m_windowTracker.Check(state, screen, rfb::Rect());
        if (check.keep) {
            if (!m_singleWindow || !(check.rect == SharedRect()))
                SetSharedArea(check.rect, true);
            return;
        }
        HostLog(kHostLogInfo, "m_SWtoDesktop \n");
        omni_mutex_lock hold(*m_eventLock);
        // Unless the viewer chose again meanwhile.
        if (m_selection.SharedWindow() == window)
            m_selection.DropWindow();
    }
    m_windowTracker.Reset();
    // The displays are read again only when the choice changed.
    if (display == m_areaDisplay && !m_singleWindow)
        return;
    m_areaDisplay = display;
    rfb::Rect area = DisplayArea(display).intersect(screen);
    if (area.is_empty())
        area = screen;
    if (m_singleWindow || !(area == SharedRect()))
        SetSharedArea(area, false);
}

void ThreadedDesktop::SetSharedArea(const rfb::Rect& area, bool single)
{
    const rfb::Rect before = SharedRect();
    const bool sizeChanged = area.width() != before.width() || area.height() != before.height();
    HostLog(kHostLogInfo, "shared area %d %d %d %d%s\n", area.left, area.top, area.width(), area.height(),
            single ? " (window)" : "");
    DesktopClient* client;
    {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        {
            omni_mutex_lock holdShared(*m_sharedLock);
            m_shared = area;
        }
        m_singleWindow = single;
        if (single)
            m_areaDisplay = 0;
        m_mover.Forget();
        m_buffer.ClearCache();
        m_buffer.MarkStale(area);
        // Everything of the new area goes out, after the new size.
        m_pending = rfb::Region(area);
        client = m_client;
    }
    // Stop() detaches the client before it waits for this thread.
    if (client)
        client->NewSharedArea(area, single, sizeChanged);
}

void ThreadedDesktop::PollWindow(DesktopWindows::Window w, ChangedWindows& marks)
{
    if (m_polling.consoleOnly && !Windows().IsConsole(w))
        return;
    marks.Mark(w);
}

bool ThreadedDesktop::FindCopy(WindowCopy& copy)
{
    DesktopWindows& windows = Windows();
    const DesktopWindows::Window w = windows.Foreground();
    rfb::Rect r;
    const bool have = w && windows.VisibleRect(w, r);
    return m_mover.Detect(w, have, r, SharedRect().intersect(ScreenRect()), copy);
}

// Only the rows the grid reads are grabbed: a whole-screen grab per cycle
// costs more than the cycle's time under a slow display.
bool ThreadedDesktop::BeginSampling(const rfb::Rect& rect)
{
    m_buffer.GrabRegion(m_grid.NextSampleRows(rect), rect);
    return m_buffer.MainView().data != nullptr;
}

uint32_t ThreadedDesktop::PixelAt(const FrameView& v, int x, int y) const
{
    const size_t bpp = static_cast<size_t>(m_buffer.Screen().format.bitsPerPixel / 8);
    if (!v.data || x < 0 || y < 0 || x >= v.width || y >= v.height)
        return 0;
    uint32_t value = 0;
    std::memcpy(&value, v.data + static_cast<size_t>(y) * v.stride + static_cast<size_t>(x) * bpp, bpp);
    return value;
}

uint32_t ThreadedDesktop::Sample(int x, int y) const
{
    return PixelAt(m_buffer.MainView(), x, y);
}

// At a scale the back buffer holds a cell's average, which a screen pixel
// rarely equals: a grid list filled then costs one needless compare of the
// windows under it, never a missed change.
uint32_t ThreadedDesktop::SentSample(int x, int y) const
{
    const int n = m_buffer.Scale();
    return PixelAt(m_buffer.BackView(), x / n, y / n);
}

bool ThreadedDesktop::Cycle(uint32_t now)
{
    if (!CheckInputDesktop()) {
        SleepMs(300);
        return true;
    }
    if (m_restart.exchange(false) && !Restart())
        return false;
    FollowSharedArea();
    {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        if (!m_client || !m_client->UpdateWantedLocked())
            return true;
    }
    m_polling = PollingSettings();
    const rfb::Rect shared = SharedRect().intersect(ScreenRect());
    rfb::Region changed;
    changed = m_pending;
    m_pending.clear();
    changed.assign_intersect(rfb::Region(shared));

    rfb::Point cursor;
    const bool haveCursor = CursorPos(cursor);
    if (haveCursor && (!m_haveCursor || !cursor.equals(m_lastCursor)))
        m_lastCursorMove = now;
    m_haveCursor = haveCursor;
    m_lastCursor = cursor;

    ChangedWindows marks(Windows(), shared, changed);
    std::vector<rfb::Point> samples;
    if (m_polling.fullScreen && now - m_lastCursorMove > kCursorStillMs) {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        if (BeginSampling(shared))
            m_grid.Poll(
                shared, [this](int x, int y) { return Sample(x, y); },
                [this](int x, int y) { return SentSample(x, y); },
                [&samples](int x, int y) { samples.emplace_back(x, y); });
    }
    // The polled windows are marked first: a changed sample inside one needs
    // no lookup. Windows are looked up outside the lock: the sender may go on.
    if (m_polling.foreground) {
        const DesktopWindows::Window w = Windows().Foreground();
        if (w)
            PollWindow(w, marks);
    }
    if (m_polling.underCursor && haveCursor) {
        const DesktopWindows::Window w = Windows().TopLevelAt(cursor.x, cursor.y);
        if (w)
            PollWindow(w, marks);
    }
    for (const rfb::Point& p : samples)
        marks.MarkAt(p.x, p.y);
    if (CursorShapeChanged()) {
        omni_mutex_lock hold(m_buffer.UpdateLock());
        m_buffer.SetCursorShapeChanged();
        // An update must go out to carry the new shape, changed pixels or not.
        const rfb::Rect around =
            rfb::Rect(cursor.x - 32, cursor.y - 32, cursor.x + 32, cursor.y + 32).intersect(shared);
        const rfb::Rect r = haveCursor && !around.is_empty() ? around : rfb::Rect(0, 0, 1, 1).intersect(shared);
        m_buffer.MarkStale(r);
        changed.assign_union(rfb::Region(r));
    }
    Capture(changed);
    return true;
}

// Grab, copies, compare, and the results to the client: all under the
// update lock, so the sender never sees half of a cycle.
void ThreadedDesktop::Capture(const rfb::Region& found)
{
    omni_mutex_lock hold(m_buffer.UpdateLock());
    if (!m_client)
        return;
    const rfb::Rect shared = SharedRect().intersect(ScreenRect());
    rfb::Region changed = found;
    WindowCopy copy;
    // A copy the viewer could not apply (its source outside the shared
    // area) is only a change.
    // A shared window that moves is the same picture at a new origin: no
    // copy of it is looked for.
    const bool known = !m_singleWindow && FindCopy(copy);
    const bool moved = known && copy.dest.translate(copy.delta.negate()).enclosed_by(shared);
    if (known && !moved)
        changed.assign_union(rfb::Region(copy.dest.intersect(shared)));
    if (moved) {
        // What the window uncovered is new too.
        changed.assign_union(rfb::Region(copy.previous.intersect(shared)));
        changed.assign_union(rfb::Region(copy.dest));
    }
    m_buffer.GrabRegion(changed, shared);
    rfb::SimpleUpdateTracker cycle;
    cycle.enable_copyrect(true);
    rfb::ClippedUpdateTracker clipped(cycle, rfb::Region(shared));
    rfb::Region toCheck = changed;
    if (moved) {
        m_buffer.CopyRect(copy.dest, copy.delta);
        clipped.add_copied(rfb::Region(copy.dest), copy.delta);
        toCheck.assign_subtract(rfb::Region(copy.dest));
    }
    rfb::Region really, cached;
    if (!toCheck.is_empty())
        m_buffer.CheckRegion(toCheck, really, cached);
    if (!really.is_empty())
        clipped.add_changed(really);
    if (!cached.is_empty())
        clipped.add_cached(cached);
    AddReportedChanges(clipped);
    if (cycle.is_empty())
        return;
    cycle.flush_to(m_client->TrackerLocked());
    m_client->TriggerUpdateLocked();
}
