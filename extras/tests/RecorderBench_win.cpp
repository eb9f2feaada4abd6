// Not a test: how fast the recorder takes frames at 1280 x 800 under this
// system, against one memcpy of a frame, and the frames written per second
// at the rates a user can ask for. Run under Wine on the X display:
//   wine extras_recorder_bench.exe
#include "core/base/GdiObject_win.h"
#include "core/base/ThreadMessages.h"
#include "extras/CWmScreenRecorder.h"
#include "extras/tests/WmWriterDouble_win.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using wmdouble::Library;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

LRESULT CALLBACK OwnerProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_RECORDING_STARTED)
        SetWindowLongPtrW(h, GWLP_USERDATA, l);
    return DefWindowProcW(h, m, w, l);
}

void Pump(double seconds)
{
    const auto start = Clock::now();
    MSG msg;
    while (Seconds(start) < seconds) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(5);
    }
}

// Frames written per second by a recording at `fps` over `seconds`.
double Rate(HWND owner, int fps, bool external, double seconds)
{
    Library library;
    library.KeepSampleBytes(false);
    std::shared_ptr<CWmScreenRecorder> recorder(new CWmScreenRecorder(library.Binding(), owner));
    recorder->SetFramesPerSecond(fps);
    recorder->SetExternalFrames(external);
    SetWindowLongPtrW(owner, GWLP_USERDATA, 0);
    RecordingRun run;
    run.Start(recorder, 1);
    Pump(0.3);
    if (external) {
        const DWORD thread = static_cast<DWORD>(GetWindowLongPtrW(owner, GWLP_USERDATA));
        std::vector<uint32_t> px(1280 * 800, 0x336699);
        PostThreadMessageW(thread, PLM_RECORD_FRAME,
                           reinterpret_cast<WPARAM>(CreateBitmap(1280, 800, 1, 32, px.data())), 0);
        Pump(0.3);
    }
    const size_t before = library.SampleCount(Library::kVideoInput);
    Pump(seconds);
    const size_t written = library.SampleCount(Library::kVideoInput) - before;
    run.Stop(RecordingRun::kStopLimitMs);
    return written / seconds;
}

} // namespace

int main()
{
    WNDCLASSW c{};
    c.lpfnWndProc = OwnerProc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = L"RecorderBenchOwner";
    RegisterClassW(&c);
    HWND owner = CreateWindowExW(0, c.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, c.hInstance, nullptr);

    std::printf("screen %dx%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    std::vector<uint8_t> from(1280 * 800 * 4, 7), to(from.size());
    const int copies = 200;
    auto start = Clock::now();
    for (int i = 0; i < copies; ++i) {
        from[i] = static_cast<uint8_t>(i);
        std::memcpy(to.data(), from.data(), from.size());
    }
    const double memcpyMs = Seconds(start) * 1000 / copies;
    std::printf("memcpy of one 1280x800x32 frame: %.3f ms\n", memcpyMs);

    // At 25 frames a second the recorder runs flat out here: the frames it
    // writes per second give the time per frame.
    for (int fps : {5, 10, 25})
        for (bool external : {false, true}) {
            const double rate = Rate(owner, fps, external, 4.0);
            std::printf("%s at %d fps asked: %.2f written per second (%.0f%%)", external ? "external" : "own capture",
                        fps, rate, 100 * rate / fps);
            if (fps == 25)
                std::printf("; %.1f ms per frame, %.0f x memcpy", 1000 / rate, 1000 / rate / memcpyMs);
            std::printf("\n");
        }
    DestroyWindow(owner);
    return 0;
}
