// The recording thread against the test double of the Windows Media writer:
// set-up failures, frame stamps and clean points, the screen's own capture,
// the viewer's frames, pause and the microphone's sound. Runs on the
// private X display (the screen is captured) with ALSA's null device.
#include "core/base/ThreadMessages.h"
#include "extras/CWmScreenRecorder.h"
#include "extras/tests/WmWriterDouble_win.h"
#include "tests/support/AppLogFile_win.h"
#include "tests/support/WindowTest_win.h"

#include <strmif.h>
#include <amvideo.h>
#include <nserror.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

using wmdouble::Library;

// The owner window: what the recording thread tells it.
class Owner {
public:
    Owner()
    {
        static ATOM cls = [] {
            WNDCLASSW c{};
            c.lpfnWndProc = Proc;
            c.hInstance = GetModuleHandleW(nullptr);
            c.lpszClassName = L"RecorderTestOwner";
            return RegisterClassW(&c);
        }();
        (void)cls;
        hwnd = CreateWindowExW(0, L"RecorderTestOwner", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), this);
    }
    ~Owner() { DestroyWindow(hwnd); }
    HWND hwnd = nullptr;
    DWORD threadId = 0;
    bool ended = false;
    int result = 1;
    LPARAM endedSequence = 0;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        if (m == WM_NCCREATE)
            SetWindowLongPtrW(h, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams));
        auto* self = reinterpret_cast<Owner*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (self && m == WM_RECORDING_STARTED)
            self->threadId = static_cast<DWORD>(l);
        if (self && m == WM_RECORDING_ENDED) {
            self->ended = true;
            self->result = static_cast<int>(w);
            self->endedSequence = l;
        }
        return DefWindowProcW(h, m, w, l);
    }
};

// One recording with its thread, against the double.
struct Recording {
    Recording(Library& library, int fps, bool external = false)
        : recorder(new CWmScreenRecorder(library.Binding(), owner.hwnd))
    {
        recorder->SetFramesPerSecond(fps);
        recorder->SetExternalFrames(external);
        recorder->SetOutputFile(L"C:\\users\\test.wmv");
    }
    bool Start()
    {
        return run.Start(recorder, 7) && wintest::WaitFor([this] { return owner.threadId != 0 || owner.ended; });
    }
    int WaitEnd(DWORD ms = 10000)
    {
        wintest::WaitFor([this] { return owner.ended; }, ms);
        return owner.ended ? owner.result : 1;
    }
    int Stop()
    {
        run.Stop(RecordingRun::kStopLimitMs);
        return WaitEnd();
    }
    void Post(HBITMAP frame) { PostThreadMessageW(owner.threadId, PLM_RECORD_FRAME, reinterpret_cast<WPARAM>(frame), 0); }

    Owner owner;
    std::shared_ptr<CWmScreenRecorder> recorder;
    RecordingRun run;
};

bool WaitVideo(const Library& library, size_t n, DWORD ms = 10000)
{
    return wintest::WaitFor([&] { return library.SampleCount(Library::kVideoInput) >= n; }, ms);
}

HBITMAP SolidFrame(int w, int h, COLORREF colour)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * h,
                             (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour));
    return CreateBitmap(w, h, 1, 32, px.data());
}

// The colour of pixel (x, y), top-down, of a bottom-up 32-bit sample.
COLORREF SamplePixel(const wmdouble::Sample& s, int width, int height, int x, int y)
{
    const size_t at = (static_cast<size_t>(height - 1 - y) * width + x) * 4;
    if (at + 3 > s.bytes.size())
        return CLR_INVALID;
    return RGB(s.bytes[at + 2], s.bytes[at + 1], s.bytes[at]);
}

// Every step of the writer's set-up that can fail: the thread ends with -2
// and the step's text, everything it made is released, the owner hears -2.
TEST(RecorderSetup, EachFailedStepEndsTheThreadWithItsText)
{
    AppLogFile log("CorviskRecorderSetupTest");
    struct {
        const char* step;
        const char* text;
    } cases[] = {
        {"WMCreateProfileManager", "Unable to Create WindowsMedia Profile Manager"},
        {"QueryInterface IWMProfileManager2", "Unable to Query Interface for ProfileManager2"},
        {"SetSystemProfileVersion", "Unable to Set System Profile Version"},
        {"QueryInterface IWMCodecInfo", "Failed to Get the IWMCodecInfo Interface."},
        {"CreateEmptyProfile", "Unable to create a profile"},
        {"CreateNewStream", "Unable to create a profile"},
        {"AddStream", "Unable to create a profile"},
        {"WMCreateWriter", "Unable to Create Media Writer Object"},
        {"SetProfile", "Unable to Set System Profile"},
        {"GetInputCount", "Unable to Get input count For Profile"},
        {"GetInputProps", "Unable to GetInput Properties"},
        {"InputProps GetType", "Unable to Get Input Property Type"},
        {"no video input", "Profile Does not Accept Video input"},
        {"SetOutputFilename", "Unable to Set Output Filename"},
    };
    for (auto& c : cases) {
        Library library;
        if (std::string(c.step) == "no video input")
            library.InputsWithoutVideo();
        else
            library.FailAt(c.step, static_cast<HRESULT>(0x80004001));
        Recording r(library, 5);
        ASSERT_TRUE(r.Start()) << c.step;
        EXPECT_EQ(r.WaitEnd(), kRecordingSetupFailed) << c.step;
        EXPECT_EQ(r.owner.endedSequence, 7);
        r.run.Stop(RecordingRun::kStopLimitMs);
        EXPECT_EQ(r.recorder->ErrorText(), c.text) << c.step;
        if (std::string(c.step) != "no video input") {
            EXPECT_EQ(r.recorder->ErrorCode(), static_cast<HRESULT>(0x80004001)) << c.step;
        }
        EXPECT_EQ(library.LiveObjects(), 0) << c.step;
        EXPECT_EQ(library.SampleCount(Library::kVideoInput), 0u);
        EXPECT_TRUE(log.Contains(c.text));
    }
}

// Frame i is stamped i x 1000 / fps ms whatever the real time between
// captures; the 15th frame of each recording is its first clean point.
TEST(RecorderFrames, StampsAndCleanPointsFollowTheRateNotTheClock)
{
    for (int recording = 0; recording < 2; ++recording) {
        Library library;
        Recording r(library, 25);
        ASSERT_TRUE(r.Start());
        ASSERT_TRUE(WaitVideo(library, 31));
        EXPECT_EQ(r.Stop(), kRecordingStopped);
        EXPECT_TRUE(library.Called("EndWriting"));
        const auto frames = library.Samples(Library::kVideoInput);
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].time, i * 400000) << i;
            EXPECT_EQ(frames[i].flags == WM_SF_CLEANPOINT, i == 14 || i == 29 || i == 44) << recording << " " << i;
        }
        EXPECT_EQ(library.LiveObjects(), 0);
    }
}

class PatternWindow {
public:
    PatternWindow()
    {
        static ATOM cls = [] {
            WNDCLASSW c{};
            c.lpfnWndProc = Proc;
            c.hInstance = GetModuleHandleW(nullptr);
            c.lpszClassName = L"RecorderTestPattern";
            c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            return RegisterClassW(&c);
        }();
        (void)cls;
        hwnd = CreateWindowExW(WS_EX_TOPMOST, L"RecorderTestPattern", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                               GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        UpdateWindow(hwnd);
        wintest::PumpFor(300);
    }
    ~PatternWindow() { DestroyWindow(hwnd); }
    // Quadrants: red, green over blue, white.
    static COLORREF At(int x, int y, int w, int h)
    {
        if (y < h / 2)
            return x < w / 2 ? RGB(255, 0, 0) : RGB(0, 255, 0);
        return x < w / 2 ? RGB(0, 0, 255) : RGB(255, 255, 255);
    }
    HWND hwnd;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        if (m != WM_PAINT)
            return DefWindowProcW(h, m, w, l);
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT r;
        GetClientRect(h, &r);
        const int cx = r.right / 2, cy = r.bottom / 2;
        const RECT quads[] = {{0, 0, cx, cy}, {cx, 0, r.right, cy}, {0, cy, cx, r.bottom}, {cx, cy, r.right, r.bottom}};
        for (const RECT& q : quads) {
            HBRUSH b = CreateSolidBrush(At(q.left, q.top, r.right, r.bottom));
            FillRect(dc, &q, b);
            DeleteObject(b);
        }
        EndPaint(h, &ps);
        return 0;
    }
};

// The host's own capture: the whole screen, its rows as GetDIBits gives
// them (bottom-up), and each capture deleted after it is written.
TEST(RecorderFrames, OwnCaptureIsTheScreenRowsAsGetDIBitsGivesThem)
{
    PatternWindow pattern;
    const POINT cursor{GetSystemMetrics(SM_CXSCREEN) / 4 + 100, GetSystemMetrics(SM_CYSCREEN) / 4 + 100};
    SetCursorPos(cursor.x, cursor.y);
    wintest::PumpFor(200);
    Library library;
    Recording r(library, 25);
    const RECT rect = r.recorder->RecordingRect();
    const int w = rect.right, h = rect.bottom;
    EXPECT_EQ(w, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(WaitVideo(library, 3));
    const unsigned gdi = wintest::GdiObjectCount();
    ASSERT_TRUE(WaitVideo(library, 20));
    EXPECT_LE(wintest::GdiObjectCount(), gdi + 2) << "captures are deleted";
    EXPECT_EQ(r.Stop(), kRecordingStopped);
    const VIDEOINFOHEADER* vih = library.VideoInputType().As<VIDEOINFOHEADER>();
    ASSERT_NE(vih, nullptr);
    ASSERT_EQ(vih->bmiHeader.biBitCount, 32) << "the test reads 32-bit rows";
    EXPECT_EQ(vih->bmiHeader.biWidth, w);
    EXPECT_EQ(vih->bmiHeader.biHeight, h);
    const auto frames = library.Samples(Library::kVideoInput);
    ASSERT_FALSE(frames.empty());
    ASSERT_EQ(frames[0].bytes.size(), static_cast<size_t>(w) * h * 4);
    const POINT probes[] = {{5, 5}, {w - 6, 5}, {5, h - 6}, {w - 6, h - 6}, {w / 4, h / 4}, {3 * w / 4, 3 * h / 4}};
    for (const POINT& p : probes)
        EXPECT_EQ(SamplePixel(frames.back(), w, h, p.x, p.y), PatternWindow::At(p.x, p.y, w, h)) << p.x << "," << p.y;
    // The cursor is drawn in where it stands.
    int drawn = 0;
    for (int y = cursor.y; y < cursor.y + 12; ++y)
        for (int x = cursor.x; x < cursor.x + 12; ++x)
            drawn += SamplePixel(frames.back(), w, h, x, y) != PatternWindow::At(x, y, w, h);
    EXPECT_GT(drawn, 0) << "no cursor pixels";
}

// A window whose client area has an odd height records one line less.
TEST(RecorderFrames, RecordedWindowOfOddHeightRecordsOneLineLess)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 10, 10, 301, 201, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    Library library;
    Recording r(library, 25);
    r.recorder->SetRecordedWindow(window);
    const RECT rect = r.recorder->RecordingRect();
    EXPECT_EQ(rect.right - rect.left, 301);
    EXPECT_EQ(rect.bottom - rect.top, 200);
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(WaitVideo(library, 1));
    EXPECT_EQ(r.Stop(), kRecordingStopped);
    const VIDEOINFOHEADER* profile = library.Streams().at(0).type.As<VIDEOINFOHEADER>();
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(profile->bmiHeader.biHeight, 200);
    const VIDEOINFOHEADER* input = library.VideoInputType().As<VIDEOINFOHEADER>();
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->bmiHeader.biWidth, 301);
    EXPECT_EQ(input->bmiHeader.biHeight, 200);
    // 301 pixels of 4 bytes need no padding; the sample holds exactly the rows.
    EXPECT_EQ(library.Samples(Library::kVideoInput).at(0).bytes.size(), 301u * 200 * 4);
    DestroyWindow(window);
}

// A late write goes on; any other failed write ends the recording with -3;
// an exception on the thread ends it with -4; both release everything.
TEST(RecorderFrames, WriteFailuresAndExceptions)
{
    {
        Library library;
        library.ScriptVideoWrites({S_OK, NS_E_LATE_OPERATION, S_OK, E_INVALIDARG});
        Recording r(library, 25);
        ASSERT_TRUE(r.Start());
        EXPECT_EQ(r.WaitEnd(), kRecordingWriteFailed);
        r.run.Stop(RecordingRun::kStopLimitMs);
        EXPECT_EQ(r.recorder->ErrorText(), "Unable to Write Frame");
        EXPECT_EQ(r.recorder->ErrorCode(), E_INVALIDARG);
        EXPECT_EQ(library.SampleCount(Library::kVideoInput), 3u) << "the late frame counts as written";
        EXPECT_EQ(library.LiveObjects(), 0);
    }
    {
        Library library;
        library.FailAt("BeginWriting", NS_E_VIDEO_CODEC_NOT_INSTALLED);
        Recording r(library, 25);
        ASSERT_TRUE(r.Start());
        EXPECT_EQ(r.WaitEnd(), kRecordingWriteFailed);
        r.run.Stop(RecordingRun::kStopLimitMs);
        EXPECT_EQ(r.recorder->ErrorText(), "Unable to Initialize Writing");
        EXPECT_EQ(library.LiveObjects(), 0);
    }
    {
        Library library;
        library.ThrowAt("AllocateSample");
        Recording r(library, 25);
        ASSERT_TRUE(r.Start());
        EXPECT_EQ(r.WaitEnd(), kRecordingException);
        r.run.Stop(RecordingRun::kStopLimitMs);
        EXPECT_FALSE(r.recorder->ErrorText().empty());
        EXPECT_EQ(library.LiveObjects(), 0);
    }
}

// A writer that hangs in EndWriting does not hang the caller of Stop: the
// wait has a limit, and the thread, which shares the recorder, finishes on
// its own and releases everything then.
TEST(RecorderFrames, StopWaitsWithALimit)
{
    Library library;
    Recording r(library, 25);
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(WaitVideo(library, 1));
    library.DelayAt("EndWriting", 2000);
    std::weak_ptr<CWmScreenRecorder> alive = r.recorder;
    r.recorder.reset();
    const DWORD start = GetTickCount();
    EXPECT_FALSE(r.run.Stop(300));
    EXPECT_LT(GetTickCount() - start, 1500u);
    EXPECT_FALSE(alive.expired()) << "the thread still has it";
    EXPECT_EQ(r.WaitEnd(), kRecordingStopped);
    EXPECT_TRUE(wintest::WaitFor([&] { return alive.expired(); }));
    EXPECT_EQ(library.LiveObjects(), 0);
}

// Regression: one waiting frame was taken per interval while the viewer
// posts after every update, so the queue grew and the recording lagged.
// Each interval takes the newest and deletes the others.
TEST(RecorderExternal, NewestWaitingFrameIsTakenAndTheRestDeleted)
{
    Library library;
    Recording r(library, 2, true);
    const unsigned gdi = wintest::GdiObjectCount();
    ASSERT_TRUE(r.Start());
    HBITMAP older = SolidFrame(64, 48, RGB(255, 0, 0));
    HBITMAP old = SolidFrame(64, 48, RGB(0, 255, 0));
    HBITMAP newest = SolidFrame(64, 48, RGB(0, 0, 255));
    r.Post(older);
    r.Post(old);
    r.Post(newest);
    ASSERT_TRUE(WaitVideo(library, 1));
    EXPECT_EQ(SamplePixel(library.Samples(Library::kVideoInput)[0], 64, 48, 1, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetObjectType(older), 0u) << "deleted";
    EXPECT_EQ(GetObjectType(old), 0u) << "deleted";
    EXPECT_EQ(r.Stop(), kRecordingStopped);
    EXPECT_EQ(GetObjectType(newest), 0u) << "deleted at the end";
    EXPECT_LE(wintest::GdiObjectCount(), gdi);
}

// With no new frame the last one is written again; a frame of another size
// is scaled to the first frame's size.
TEST(RecorderExternal, LastFrameRepeatsAndOtherSizesAreScaled)
{
    Library library;
    Recording r(library, 10, true);
    ASSERT_TRUE(r.Start());
    r.Post(SolidFrame(64, 48, RGB(10, 20, 30)));
    ASSERT_TRUE(WaitVideo(library, 3));
    auto frames = library.Samples(Library::kVideoInput);
    EXPECT_EQ(frames[1].bytes, frames[0].bytes);
    EXPECT_EQ(frames[2].bytes, frames[0].bytes);
    EXPECT_EQ(frames[2].time, 2u * 1000000);
    const size_t before = frames.size();
    r.Post(SolidFrame(32, 24, RGB(200, 100, 50)));
    ASSERT_TRUE(wintest::WaitFor([&] {
        auto all = library.Samples(Library::kVideoInput);
        return all.size() > before + 1 && SamplePixel(all.back(), 64, 48, 0, 0) == RGB(200, 100, 50);
    }));
    frames = library.Samples(Library::kVideoInput);
    EXPECT_EQ(frames.back().bytes.size(), 64u * 48 * 4);
    EXPECT_EQ(SamplePixel(frames.back(), 64, 48, 63, 47), RGB(200, 100, 50));
    EXPECT_EQ(r.Stop(), kRecordingStopped);
}

// Every posted bitmap is deleted exactly once: over a thousand frames the
// process's count of GDI objects stays where it was.
TEST(RecorderExternal, ThousandFramesLeaveNoBitmapBehind)
{
    Library library;
    Recording r(library, 25, true);
    ASSERT_TRUE(r.Start());
    const unsigned gdi = wintest::GdiObjectCount();
    for (int i = 0; i < 1000; ++i) {
        r.Post(SolidFrame(32, 24, RGB(i & 255, 0, 0)));
        if (i % 100 == 0)
            wintest::PumpFor(30);
    }
    ASSERT_TRUE(WaitVideo(library, 5));
    EXPECT_EQ(r.Stop(), kRecordingStopped);
    EXPECT_LE(wintest::GdiObjectCount(), gdi + 1);
}

// Regression: Pause suspended the recording thread (which may hold a lock
// the others need) while sound went on, so the tracks drifted apart. While
// paused nothing is written, and afterwards both stamps go on where they
// stopped; a stop while paused ends the recording normally.
TEST(RecorderPause, NothingWrittenWhilePausedAndStampsGoOn)
{
    Library library;
    Recording r(library, 25);
    ASSERT_TRUE(r.Start());
    ASSERT_TRUE(wintest::WaitFor([&] {
        return library.SampleCount(Library::kVideoInput) >= 5 && library.SampleCount(Library::kAudioInput) >= 2;
    }));
    r.recorder->SetPaused(true);
    wintest::PumpFor(200);
    const size_t video = library.SampleCount(Library::kVideoInput);
    const size_t sound = library.SampleCount(Library::kAudioInput);
    wintest::PumpFor(1500);
    EXPECT_EQ(library.SampleCount(Library::kVideoInput), video);
    EXPECT_EQ(library.SampleCount(Library::kAudioInput), sound);
    r.recorder->SetPaused(false);
    ASSERT_TRUE(wintest::WaitFor([&] {
        return library.SampleCount(Library::kVideoInput) >= video + 5 &&
               library.SampleCount(Library::kAudioInput) >= sound + 2;
    }));
    r.recorder->SetPaused(true);
    EXPECT_EQ(r.Stop(), kRecordingStopped);
    EXPECT_TRUE(library.Called("EndWriting"));

    const auto frames = library.Samples(Library::kVideoInput);
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(frames[i].time, i * 400000) << i;
    QWORD bytes = 0;
    for (const wmdouble::Sample& s : library.Samples(Library::kAudioInput)) {
        EXPECT_EQ(s.time, bytes * 625);
        EXPECT_EQ(s.bytes.size(), 16000u) << "one second of 8 kHz 16-bit mono";
        bytes += s.bytes.size();
    }
}

} // namespace
