// Times the meeting recorder under Wine on a 1280 x 800 screen (scripts/bench
// recorder), the Windows Media writer's test double standing in for the
// library (Wine's cannot write a file). Each round measures:
//   recorder/OwnFrame       the screen captured and copied into the writer's
//                           sample: the median time between two frames the
//                           double is given while the recorder runs flat out
//                           (1000 frames a second asked);
//   recorder/ExternalFrame  the same with posted frames (a 1280 x 800 top-down
//                           32-bit DIB, as the viewer posts, each of its own
//                           colour): a new one is posted each time a frame
//                           is written, and only the frames that took a newly
//                           posted one count (the others write the last one
//                           again);
//   recorder/FrameMemcpy    one memcpy of a 1280 x 800 32-bit frame, the peer
//                           of both;
//   recorder/OwnRate/N, recorder/ExternalRate/N
//                           frames written per second at N = 5, 10 and 25
//                           asked, as wall time per frame written, against
//   recorder/Asked/N        the asked rate's 1000 / N ms.
//
// Usage: extras_recorder_bench [--seconds N] [--rounds N] [--json FILE]
//   N seconds of each measured recording (default 4) and rounds (default 3);
//   FILE (a Windows path) gets every round's times in Google Benchmark's
//   JSON shape for scripts/lib/bench_report.py.
#include "core/base/GdiObject_win.h"
#include "core/base/ThreadMessages.h"
#include "extras/CWmScreenRecorder.h"
#include "extras/tests/WmWriterDouble_win.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using wmdouble::Library;

constexpr int kWidth = 1280, kHeight = 800;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 4;
constexpr int kFlatOutFps = 1000;  // an interval of 1 ms: never waits
constexpr double kWarmUpSeconds = 0.5;  // the first frame begins writing and starts the microphone

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_RECORDING_STARTED)
        SetWindowLongPtrW(h, GWLP_USERDATA, l);
    return DefWindowProcW(h, m, w, l);
}

void Pump(double seconds)
{
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    MSG msg;
    while (Clock::now() < end) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(5);
    }
}

// A frame as the viewer posts it: a top-down 32-bit DIB section.
HBITMAP NewPostedFrame(uint32_t shade)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP frame = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (frame)
        std::fill_n(static_cast<uint32_t*>(bits), size_t{kWidth} * kHeight, shade);
    GdiFlush();
    return frame;
}

// Posts a new frame to the recording thread each time a frame was written,
// on a thread of its own, as the viewer would from its paints.
class FramePoster {
public:
    FramePoster(const Library& library, DWORD thread)
        : m_library(library), m_thread(thread), m_runner([this] { Run(); })
    {
    }
    ~FramePoster()
    {
        m_stop = true;
        m_runner.join();
    }
    FramePoster(const FramePoster&) = delete;
    FramePoster& operator=(const FramePoster&) = delete;
    size_t Posted() const { return m_posted; }

private:
    void Run()
    {
        size_t seen = SIZE_MAX;
        uint32_t shade = 0;
        while (!m_stop) {
            const size_t written = m_library.SampleCount(Library::kVideoInput);
            if (written == seen) {
                Sleep(1);
                continue;
            }
            seen = written;
            shade = (shade + 0x010203) & 0xFFFFFF;  // consecutive frames differ
            HBITMAP frame = NewPostedFrame(shade);
            if (frame && PostThreadMessageW(m_thread, PLM_RECORD_FRAME, reinterpret_cast<WPARAM>(frame), 0))
                ++m_posted;
            else
                DeleteGdiObject(frame);
        }
    }

    const Library& m_library;
    DWORD m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_posted{0};
    std::thread m_runner;
};

struct Recorded {
    std::vector<wmdouble::Sample> frames;  // written after the warm-up (no bytes)
    size_t written = 0, posted = 0;        // over the whole recording
};

// One recording at `fps` against the double, measured over `seconds`
// after the warm-up.
Recorded Record(HWND owner, int fps, bool external, double seconds)
{
    Library library;
    library.KeepSampleBytes(false);
    std::shared_ptr<CWmScreenRecorder> recorder(new CWmScreenRecorder(library.Binding(), owner));
    recorder->SetFramesPerSecond(fps);
    recorder->SetExternalFrames(external);
    SetWindowLongPtrW(owner, GWLP_USERDATA, 0);
    RecordingRun run;
    run.Start(recorder, 1);
    const auto start = Clock::now();
    while (!GetWindowLongPtrW(owner, GWLP_USERDATA) && Clock::now() - start < std::chrono::seconds(5))
        Pump(0.01);
    Recorded out;
    {
        std::unique_ptr<FramePoster> poster;
        if (external)
            poster.reset(new FramePoster(library, static_cast<DWORD>(GetWindowLongPtrW(owner, GWLP_USERDATA))));
        const auto from = Clock::now() + std::chrono::milliseconds(static_cast<int>(kWarmUpSeconds * 1000));
        Pump(kWarmUpSeconds + seconds);
        for (const wmdouble::Sample& s : library.Samples(Library::kVideoInput)) {
            ++out.written;
            if (s.writtenAt >= from)
                out.frames.push_back(s);
        }
        out.posted = poster ? poster->Posted() : 0;
    }
    run.Stop(RecordingRun::kStopLimitMs);
    return out;
}

// The time between two frames written by a recorder running flat out: the
// median over every frame, or over the frames whose picture changed (a newly
// posted frame taken).
double FrameMs(const std::vector<wmdouble::Sample>& frames, bool onlyNew, size_t* counted)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < frames.size(); ++i)
        if (!onlyNew || frames[i].head != frames[i - 1].head)
            gaps.push_back(Ms(frames[i].writtenAt - frames[i - 1].writtenAt));
    *counted = gaps.size();
    return Median(gaps);
}

// Wall time per frame written over the whole stretch (1000 / frames per second).
double WrittenMs(const std::vector<wmdouble::Sample>& frames)
{
    return frames.size() < 2 ? 0
                             : Ms(frames.back().writtenAt - frames.front().writtenAt) /
                                   static_cast<double>(frames.size() - 1);
}

// The median of copies of one frame, each into the same destination.
double MemcpyMs()
{
    std::vector<uint8_t> from(kFrameBytes, 7), to(kFrameBytes);
    std::vector<double> times;
    for (int i = 0; i < 100; ++i) {
        from[static_cast<size_t>(i) * 4096] = static_cast<uint8_t>(i);
        const auto start = Clock::now();
        std::memcpy(to.data(), from.data(), kFrameBytes);
        times.push_back(Ms(Clock::now() - start));
    }
    volatile uint8_t sink = to[4096];
    (void)sink;
    return Median(times);
}

struct Row {
    std::string name;
    double ms;
    std::string label;
};

void Add(std::vector<Row>& rows, const std::string& name, double ms, const std::string& label)
{
    rows.push_back({name, ms, label});
    std::printf("%-26s %9.3f ms  %s\n", name.c_str(), ms, label.c_str());
    std::fflush(stdout);
}

bool WriteJson(const wchar_t* path, const std::vector<Row>& rows)
{
    FILE* f = _wfopen(path, L"w");
    if (!f)
        return false;
    std::fprintf(f, "{\n  \"context\": {\"executable\": \"extras_recorder_bench\", \"note\": \"wall time under Wine on "
                    "Xvfb 1280x800, the writer's test double\"},\n  \"benchmarks\": [\n");
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        std::fprintf(f, "    {\"name\": \"%s\", \"run_name\": \"%s\", \"run_type\": \"iteration\", \"iterations\": 1, ",
                     r.name.c_str(), r.name.c_str());
        if (r.ms > 0)
            std::fprintf(f, "\"real_time\": %.6f, \"cpu_time\": %.6f, \"time_unit\": \"ms\", \"label\": \"%s\"}", r.ms,
                         r.ms, r.label.c_str());
        else
            std::fprintf(f, "\"error_occurred\": true, \"error_message\": \"no frames written\"}");
        std::fprintf(f, "%s\n", i + 1 < rows.size() ? "," : "");
    }
    std::fprintf(f, "  ]\n}\n");
    return std::fclose(f) == 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    double seconds = 4;
    int rounds = 3;
    const wchar_t* json = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (more && std::wcscmp(argv[i], L"--seconds") == 0)
            seconds = _wtof(argv[++i]);
        else if (more && std::wcscmp(argv[i], L"--rounds") == 0)
            rounds = _wtoi(argv[++i]);
        else if (more && std::wcscmp(argv[i], L"--json") == 0)
            json = argv[++i];
        else
            seconds = 0;
        if (seconds < 1 || seconds > 600 || rounds < 1 || rounds > 100) {
            std::fprintf(stderr, "usage: extras_recorder_bench [--seconds 1-600] [--rounds 1-100] [--json FILE]\n");
            return 2;
        }
    }
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (screenWidth != kWidth || screenHeight != kHeight) {
        std::fprintf(stderr, "recorder bench: the screen is %dx%d, not %dx%d\n", screenWidth, screenHeight, kWidth,
                     kHeight);
        return 1;
    }

    WNDCLASSW c{};
    c.lpfnWndProc = OwnerProc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = L"RecorderBenchOwner";
    RegisterClassW(&c);
    HWND owner = CreateWindowExW(0, c.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, c.hInstance, nullptr);

    std::vector<Row> rows;
    char label[96];
    for (int round = 1; round <= rounds; ++round) {
        std::printf("round %d of %d\n", round, rounds);
        Add(rows, "recorder/FrameMemcpy", MemcpyMs(), "");
        for (bool external : {false, true}) {
            const Recorded r = Record(owner, kFlatOutFps, external, seconds);
            size_t counted = 0;
            const double ms = FrameMs(r.frames, external, &counted);
            if (external)
                std::snprintf(label, sizeof label, "%zu new frames of %zu flat out; %zu posted, %zu written in all",
                              counted, r.frames.size(), r.posted, r.written);
            else
                std::snprintf(label, sizeof label, "%zu frames flat out", r.frames.size());
            Add(rows, external ? "recorder/ExternalFrame" : "recorder/OwnFrame", ms, label);
        }
        for (int fps : {5, 10, 25}) {
            for (bool external : {false, true}) {
                const double ms = WrittenMs(Record(owner, fps, external, seconds).frames);
                std::snprintf(label, sizeof label, "%.2f frames/s written", ms > 0 ? 1000 / ms : 0.0);
                Add(rows, (external ? "recorder/ExternalRate/" : "recorder/OwnRate/") + std::to_string(fps), ms, label);
            }
            std::snprintf(label, sizeof label, "%d frames/s asked", fps);
            Add(rows, "recorder/Asked/" + std::to_string(fps), 1000.0 / fps, label);
        }
    }
    DestroyWindow(owner);
    if (json && !WriteJson(json, rows)) {
        std::fprintf(stderr, "recorder bench: cannot write the JSON file\n");
        return 1;
    }
    const bool failed = std::any_of(rows.begin(), rows.end(), [](const Row& r) { return r.ms <= 0; });
    return failed ? 1 : 0;
}
