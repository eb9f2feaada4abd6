// Times the host's screen capture under Wine (scripts/bench capture): the
// program's vncServer on a loopback pair read by the test decoder while an
// 800x600 foreground window animates at 60 frames/s (a moving gradient and
// a bouncing block), in three parts of one run:
//   Paced      an incremental request every 50 ms, as the viewer's pump asks:
//              updates/s against the pump's 20, bytes/s, and the time from
//              the oldest unanswered request to its update (median, 95th
//              percentile);
//   Unpaced    the next request as soon as an update is read;
//   Detection  after the session, in the same process: one cycle's change
//              detection over the grabbed screen (grid sampling, the changed
//              windows' lookup, the block compare of what they cover)
//              against memcmp of two 1920x1080 32-bit frames; beside it the
//              cycle's captures (the rows the sampling reads and the changed
//              windows) against the old way's whole-screen grab and compare,
//              per frame (encoding not counted).
//
// Usage: corvisk_capture_bench [--seconds N] [--json FILE]
//   N: seconds of each session part (default 20). Prints a labelled table;
//   FILE (a Windows path) gets the times in Google Benchmark's JSON shape for
//   scripts/lib/bench_report.py (an update rate as wall time per update
//   against the pump's 50 ms).
#include "Customer/capture/GdiScreen.h"
#include "Customer/capture/PollGrid.h"
#include "Customer/capture/vncClientBuffer.h"
#include "Customer/session/vncServer.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "rfb/RfbProto.h"
#include "rfb/tests/LoopbackPair.h"
#include "tools/BenchCount.h"
#include "tools/BenchJson_win.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWinW = 800, kWinH = 600;
constexpr int kFrameMs = 1000 / 60;
constexpr int kPumpMs = 50;
const wchar_t kClass[] = L"CorviskCaptureBench";

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    return v[i];
}

std::vector<uint8_t> Request(bool incremental)
{
    return {rfbproto::kFramebufferUpdateRequest, static_cast<uint8_t>(incremental ? 1 : 0), 0, 0, 0, 0, 0, 0, 0, 0};
}

// The foreground window: a gradient moving with the frame counter and a
// block bouncing inside it.
class AnimatedWindow {
public:
    AnimatedWindow()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &AnimatedWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClass;
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, kClass, L"animated", WS_POPUP | WS_VISIBLE, 300, 200, kWinW, kWinH, nullptr,
                                 nullptr, wc.hInstance, this);
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetForegroundWindow(m_hwnd);
        Step();
    }
    ~AnimatedWindow()
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
    }
    AnimatedWindow(const AnimatedWindow&) = delete;
    AnimatedWindow& operator=(const AnimatedWindow&) = delete;
    bool ok() const { return m_hwnd != nullptr; }
    void Step()
    {
        ++m_frame;
        HDC dc = GetDC(m_hwnd);
        Paint(dc);
        ReleaseDC(m_hwnd, dc);
        GdiFlush();
    }
    // Steps at 60 frames/s and runs the thread's messages until stop is set.
    void Animate(const std::atomic<bool>& stop)
    {
        double next = NowMs();
        while (!stop) {
            const double now = NowMs();
            if (now >= next) {
                Step();
                next = std::max(next + kFrameMs, now);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::max(0.0, next - NowMs())),
                                      QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    int frames() const { return m_frame; }

private:
    void Paint(HDC dc) const
    {
        constexpr int kBand = 10;
        for (int x = 0; x < kWinW; x += kBand) {
            const int v = x * 256 / kWinW;
            HBRUSH b = CreateSolidBrush(RGB((v + m_frame * 4) & 255, (x / 4 + m_frame) & 255, 255 - v));
            RECT r{x, 0, x + kBand, kWinH};
            FillRect(dc, &r, b);
            DeleteObject(b);
        }
        constexpr int kBlock = 80;
        const int spanX = kWinW - kBlock, spanY = kWinH - kBlock;
        const int px = (m_frame * 9) % (2 * spanX), py = (m_frame * 6) % (2 * spanY);
        const int bx = px < spanX ? px : 2 * spanX - px, by = py < spanY ? py : 2 * spanY - py;
        RECT block{bx, by, bx + kBlock, by + kBlock};
        FillRect(dc, &block, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        auto* self = reinterpret_cast<AnimatedWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (m == WM_PAINT && self) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            self->Paint(dc);
            EndPaint(h, &ps);
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    }

    HWND m_hwnd = nullptr;
    int m_frame = 0;
};

// Decoder input from the viewer end of the pair, counted.
class CountingSource : public testrfb::ByteSource {
public:
    explicit CountingSource(LoopbackPair& pair) : m_pair(pair) {}
    void read(void* data, size_t n) override
    {
        if (n > 0 && !m_pair.receiveAtFar(data, n, 10000))
            throw testrfb::DecodeError("no data from the host");
        bytes += n;
    }
    uint64_t bytes = 0;

private:
    LoopbackPair& m_pair;
};

struct RateResult {
    double seconds = 0;
    int updates = 0;
    uint64_t bytes = 0;
    std::vector<double> latencyMs;
    bool failed = false;
    double UpdatesPerSecond() const { return seconds > 0 ? updates / seconds : 0; }
};

// A session of the program's own server, read by the test decoder.
class Session {
public:
    Session()
        : m_sw(GetSystemMetrics(SM_CXSCREEN)), m_sh(GetSystemMetrics(SM_CYSCREEN)),
          m_dec(testrfb::Format(), m_sw, m_sh), m_src(m_pair)
    {
        m_created = CreateEventW(nullptr, FALSE, FALSE, L"vnc server is created");
        m_server = std::make_unique<vncServer>(nullptr, m_pair.nearEnd());
        if (m_server->AddClientDefault(1, 1) != 1 || WaitForSingleObject(m_created, 10000) != WAIT_OBJECT_0)
            return;
        const std::vector<uint8_t> encodings{
            rfbproto::kSetEncodings, 0, 0, 3, 0, 0, 0, rfbproto::kEncZRLE, 0, 0, 0, rfbproto::kEncCopyRect,
            0xFF, 0xFF, 0xFF, 0x21};  // ZRLE, CopyRect, NewFBSize (-223)
        m_ok = Send({rfbproto::kStartRequest, 1}) && Read() == rfbproto::kStartReply && Send(encodings) &&
               Send(Request(false)) && Read() == rfbproto::kFramebufferUpdate;
    }
    ~Session()
    {
        if (m_server) {
            Send({rfbproto::kDisconnect, 0, 0, 0, 0, 0, 0, 0});
            for (int i = 0; i < 500 && !m_server->SessionEnded(); ++i)
                Sleep(10);
            m_server.reset();
        }
        CloseHandle(m_created);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    bool ok() const { return m_ok; }

    // An incremental request every 50 ms; the latency runs from the oldest
    // request the update answers.
    RateResult Paced(double seconds)
    {
        RateResult r;
        const uint64_t bytes0 = m_src.bytes;
        const double start = NowMs(), end = start + seconds * 1000;
        double next = start, pendingSince = -1;
        while (!r.failed && NowMs() < end) {
            double now = NowMs();
            if (now >= next) {
                r.failed = !Send(Request(true));
                if (pendingSince < 0)
                    pendingSince = now;
                next = std::max(next + kPumpMs, now);
            }
            const int wait = static_cast<int>(std::max(0.0, std::min(next, end) - NowMs()));
            if (!m_pair.farReadable(wait))
                continue;
            const int type = Read();
            r.failed = type < 0;
            if (type == rfbproto::kFramebufferUpdate) {
                ++r.updates;
                if (pendingSince >= 0)
                    r.latencyMs.push_back(NowMs() - pendingSince);
                pendingSince = -1;
            }
        }
        r.seconds = (NowMs() - start) / 1000;
        r.bytes = m_src.bytes - bytes0;
        Drain(pendingSince >= 0);
        return r;
    }

    // The next request as soon as the update is read.
    RateResult Unpaced(double seconds)
    {
        RateResult r;
        const uint64_t bytes0 = m_src.bytes;
        const double start = NowMs(), end = start + seconds * 1000;
        while (!r.failed && NowMs() < end) {
            const double asked = NowMs();
            r.failed = !Send(Request(true));
            for (bool updated = false; !r.failed && !updated;) {
                const int type = Read();
                r.failed = type < 0;
                updated = type == rfbproto::kFramebufferUpdate;
            }
            if (r.failed)
                break;
            ++r.updates;
            r.latencyMs.push_back(NowMs() - asked);
        }
        r.seconds = (NowMs() - start) / 1000;
        r.bytes = m_src.bytes - bytes0;
        return r;
    }

private:
    bool Send(const std::vector<uint8_t>& m) { return m_pair.sendFromFar(m); }
    int Read()
    {
        try {
            return m_dec.readMessage(m_src);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "capture bench: %s\n", e.what());
            return -1;
        }
    }
    // Reads what the last request still brings, so the next part starts
    // with nothing in flight.
    void Drain(bool answerDue)
    {
        while (answerDue && m_pair.farReadable(1000)) {
            const int type = Read();
            if (type < 0 || type == rfbproto::kFramebufferUpdate)
                break;
        }
    }

    int m_sw, m_sh;
    LoopbackPair m_pair{LoopbackPair::Sends::AtOnce};
    testrfb::Decoder m_dec;
    CountingSource m_src;
    HANDLE m_created = nullptr;
    std::unique_ptr<vncServer> m_server;
    bool m_ok = false;
};

// Top-level windows as the desktop thread looks them up (the primary
// screen's origin is the bitmap's).
class ScreenWindows : public DesktopWindows {
public:
    Window TopLevelAt(int x, int y) override
    {
        HWND w = WindowFromPoint(POINT{x, y});
        w = w ? GetAncestor(w, GA_ROOT) : nullptr;
        return w && w != GetDesktopWindow() ? reinterpret_cast<Window>(w) : 0;
    }
    bool VisibleRect(Window id, rfb::Rect& r) override
    {
        HWND w = reinterpret_cast<HWND>(id);
        RECT wr;
        if (!IsWindowVisible(w) || IsIconic(w) || !GetWindowRect(w, &wr))
            return false;
        r = rfb::Rect(wr.left, wr.top, wr.right, wr.bottom);
        return true;
    }
    Window Foreground() override
    {
        HWND w = GetForegroundWindow();
        return w && w != GetDesktopWindow() ? reinterpret_cast<Window>(w) : 0;
    }
    bool IsConsole(Window) override { return false; }
};

struct FrameTimes {
    double grabRows = 0;  // the rows the sampling reads
    double poll = 0, mark = 0, compare = 0;  // grid, changed windows, block compare
    double detect = 0;
    double grabWhole = 0;  // the old way's whole-screen grab
    double grabChanged = 0;
    double oldCompare = 0;  // the old way: compare of the whole screen
    double memcmp = 0;
    int frames = 0;
    size_t changedWindows = 0;
};

// One cycle's change detection per animation frame, as the desktop thread
// runs it, against memcmp of two whole frames, in this process.
bool MeasureDetection(AnimatedWindow& window, int frames, FrameTimes& out)
{
    std::unique_ptr<ScreenSource> screen = CreateGdiScreen();
    if (!screen)
        return false;
    vncClientBuffer now, old;
    now.SetSource(screen.get());
    old.SetSource(screen.get());
    if (!now.CheckBuffer() || !old.CheckBuffer())
        return false;
    const ScreenInfo info = now.Screen();
    const rfb::Rect all(0, 0, info.width, info.height);
    ScreenWindows windows;
    PollGrid grid;
    const size_t frameBytes = static_cast<size_t>(1920) * 1080 * 4;
    std::vector<uint8_t> a(frameBytes, 0x5A), b(frameBytes, 0x5A);

    std::vector<double> grabWhole, grab, poll, mark, compare, detect, grabChanged, oldCompare, cmp;
    rfb::Region changed, cached;
    now.GrabRect(false, all);
    now.CheckRect(all, changed, cached);
    old.GrabRect(false, all);
    old.CheckRect(all, changed, cached);
    // Eight polls fill the grid's sample lists first.
    for (int i = 0; i < frames + PollGrid::kPhases; ++i) {
        window.Step();
        const double t = NowMs();
        now.GrabRegion(grid.NextSampleRows(all), all);
        const double grabbed = NowMs();
        rfb::Region found;
        ChangedWindows marks(windows, all, found);
        std::vector<rfb::Point> samples;
        const FrameView v = now.MainView(), sent = now.BackView();
        auto pixel = [](const FrameView& f, int x, int y) {
            uint32_t value;
            std::memcpy(&value, f.data + static_cast<size_t>(y) * f.stride + static_cast<size_t>(x) * 4, 4);
            return value;
        };
        grid.Poll(
            all, [&](int x, int y) { return pixel(v, x, y); }, [&](int x, int y) { return pixel(sent, x, y); },
            [&samples](int x, int y) { samples.emplace_back(x, y); });
        const double polled = NowMs();
        if (const DesktopWindows::Window w = windows.Foreground())
            marks.Mark(w);
        for (const rfb::Point& p : samples)
            marks.MarkAt(p.x, p.y);
        const double marked = NowMs();
        now.GrabRegion(found, all);
        const double grabbedChanged = NowMs();
        rfb::Region really, kept;
        now.CheckRegion(found, really, kept);
        const double checked = NowMs();

        const double oldStart = NowMs();
        old.GrabRect(false, all);
        const double oldGrabbed = NowMs();
        rfb::Region oldChanged, oldCached;
        old.CheckRect(all, oldChanged, oldCached);
        const double oldChecked = NowMs();

        b[frameBytes - 1] = static_cast<uint8_t>(i);  // differs at the end: the whole frame is read
        const double c0 = NowMs();
        volatile int sink = std::memcmp(a.data(), b.data(), frameBytes);
        const double c1 = NowMs();
        (void)sink;
        if (i < PollGrid::kPhases)
            continue;
        grab.push_back(grabbed - t);
        poll.push_back(polled - grabbed);
        mark.push_back(marked - polled);
        compare.push_back(checked - grabbedChanged);
        detect.push_back((marked - grabbed) + (checked - grabbedChanged));
        grabChanged.push_back(grabbedChanged - marked);
        grabWhole.push_back(oldGrabbed - oldStart);
        oldCompare.push_back(oldChecked - oldGrabbed);
        cmp.push_back(c1 - c0);
        out.changedWindows += marks.Count();
        Sleep(kFrameMs);
    }
    out.frames = frames;
    out.grabRows = Percentile(grab, 0.5);
    out.poll = Percentile(poll, 0.5);
    out.mark = Percentile(mark, 0.5);
    out.compare = Percentile(compare, 0.5);
    out.detect = Percentile(detect, 0.5);
    out.grabChanged = Percentile(grabChanged, 0.5);
    out.oldCompare = Percentile(oldCompare, 0.5);
    out.grabWhole = Percentile(grabWhole, 0.5);
    out.memcmp = Percentile(cmp, 0.5);
    return true;
}

std::string RateCounters(const RateResult& r)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  ", \"updates_per_s\": %.3f, \"bytes_per_s\": %.0f, \"latency_median_ms\": %.3f, "
                  "\"latency_p95_ms\": %.3f",
                  r.UpdatesPerSecond(), r.seconds > 0 ? static_cast<double>(r.bytes) / r.seconds : 0.0,
                  Percentile(r.latencyMs, 0.5), Percentile(r.latencyMs, 0.95));
    return text;
}

void PrintRate(const char* label, const RateResult& r)
{
    std::printf("%-8s %5.1f s: %d updates, %.2f updates/s (%.3f of 20), %.0f bytes/s, request to update median "
                "%.1f ms, 95th percentile %.1f ms%s\n",
                label, r.seconds, r.updates, r.UpdatesPerSecond(), r.UpdatesPerSecond() / 20,
                r.seconds > 0 ? static_cast<double>(r.bytes) / r.seconds : 0.0, Percentile(r.latencyMs, 0.5),
                Percentile(r.latencyMs, 0.95), r.failed ? " (the session failed)" : "");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int seconds = 20;
    const wchar_t* json = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (more && std::wcscmp(argv[i], L"--seconds") == 0 && ReadBenchCount(argv[i + 1], 3600, seconds))
            ++i;
        else if (more && std::wcscmp(argv[i], L"--json") == 0)
            json = argv[++i];
        else {
            std::fprintf(stderr, "usage: corvisk_capture_bench [--seconds 1-3600] [--json FILE]\n");
            return 2;
        }
    }
    std::printf("screen %dx%d, window %dx%d at 60 frames/s, %d s a part\n", GetSystemMetrics(SM_CXSCREEN),
                GetSystemMetrics(SM_CYSCREEN), kWinW, kWinH, seconds);
    AnimatedWindow window;
    if (!window.ok()) {
        std::fprintf(stderr, "capture bench: no window\n");
        return 1;
    }
    RateResult paced, unpaced;
    bool sessionOk = false;
    {
        // The viewer's side runs on its own thread; this one animates.
        std::atomic<bool> stop{false};
        std::thread viewer([&] {
            Session s;
            sessionOk = s.ok();
            if (sessionOk) {
                paced = s.Paced(seconds);
                unpaced = s.Unpaced(seconds);
            }
            stop = true;
        });
        const int before = window.frames();
        const double start = NowMs();
        window.Animate(stop);
        viewer.join();
        std::printf("animation: %.1f frames/s\n", (window.frames() - before) * 1000.0 / (NowMs() - start));
    }
    if (!sessionOk) {
        std::fprintf(stderr, "capture bench: the session did not start\n");
        return 1;
    }
    PrintRate("paced", paced);
    PrintRate("unpaced", unpaced);

    FrameTimes t;
    if (!MeasureDetection(window, 200, t)) {
        std::fprintf(stderr, "capture bench: no screen to grab\n");
        return 1;
    }
    std::printf("per frame (median of %d): change detection %.3f ms, memcmp of two 1920x1080x32 frames %.3f ms "
                "(detection/memcmp %.2f); windows marked %.2f a frame\n",
                t.frames, t.detect, t.memcmp, t.memcmp > 0 ? t.detect / t.memcmp : 0.0,
                static_cast<double>(t.changedWindows) / t.frames);
    std::printf("per frame: detection = grid %.3f ms + changed windows' lookup %.3f ms + block compare %.3f ms\n",
                t.poll, t.mark, t.compare);
    std::printf("per frame: grab of the sampled rows %.3f ms, grab of the changed windows %.3f ms; old way: whole "
                "grab %.3f ms + whole compare %.3f ms\n",
                t.grabRows, t.grabChanged, t.grabWhole, t.oldCompare);
    const double newCycle = t.grabRows + t.detect + t.grabChanged, oldCycle = t.grabWhole + t.oldCompare;
    std::printf("per frame without encoding: new cycle %.3f ms, old grab-and-compare %.3f ms (new/old %.2f)\n",
                newCycle, oldCycle, oldCycle > 0 ? newCycle / oldCycle : 0.0);

    const std::vector<BenchRow> rows{
        {"capture/Paced", paced.updates ? paced.seconds * 1000 / paced.updates : 0, 1, RateCounters(paced)},
        {"capture/Unpaced", unpaced.updates ? unpaced.seconds * 1000 / unpaced.updates : 0, 1, RateCounters(unpaced)},
        {"PumpPace", kPumpMs, 1, ""},
        {"capture/Detection", t.detect, 1, ""},
        {"FrameMemcmp", t.memcmp, 1, ""},
        {"capture/CycleNoEncoding", newCycle, 1, ""},
        {"WholeGrabAndCompare", oldCycle, 1, ""},
    };
    if (json && !WriteBenchJson(json, "corvisk_capture_bench", "wall time under Wine on Xvfb", rows)) {
        std::fprintf(stderr, "capture bench: cannot write the JSON file\n");
        return 1;
    }
    return paced.failed || unpaced.failed ? 1 : 0;
}
