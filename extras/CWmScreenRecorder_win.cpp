#include "extras/CWmScreenRecorder.h"

#include "core/base/ComRef_win.h"
#include "core/base/DHLog.h"
#include "core/base/GdiObject_win.h"
#include "core/base/ThreadMessages.h"
#include "extras/RecordingFrameSize.h"

#include <exception>

namespace {

constexpr uint8_t kLogRecording = 0x80;

// The screen's device context for one capture.
class ScreenDc {
public:
    ScreenDc() : m_dc(GetDC(nullptr)) {}
    ~ScreenDc()
    {
        if (m_dc)
            ReleaseDC(nullptr, m_dc);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return m_dc; }

private:
    HDC m_dc;
};

void DrawCursor(HDC dc, int32_t width, int32_t height, int screenWidth, int screenHeight)
{
    CURSORINFO info{};
    info.cbSize = sizeof(info);
    if (!GetCursorInfo(&info) || !(info.flags & CURSOR_SHOWING) || !info.hCursor)
        return;
    ICONINFO icon{};
    if (!GetIconInfo(info.hCursor, &icon))
        return;
    GdiObject<HBITMAP> mask(icon.hbmMask), color(icon.hbmColor);
    const int x = MulDiv(info.ptScreenPos.x, width, screenWidth) - static_cast<int>(icon.xHotspot);
    const int y = MulDiv(info.ptScreenPos.y, height, screenHeight) - static_cast<int>(icon.yHotspot);
    DrawIcon(dc, x, y, info.hCursor);
}

SIZE BitmapSize(HBITMAP bitmap, int* depth = nullptr)
{
    BITMAP b{};
    if (!GetObjectW(bitmap, sizeof(b), &b))
        return SIZE{0, 0};
    if (depth)
        *depth = b.bmBitsPixel;
    return SIZE{b.bmWidth, b.bmHeight};
}

} // namespace

CWmScreenRecorder::CWmScreenRecorder(WmWriterBinding binding, HWND owner)
    : m_binding(std::move(binding)), m_owner(owner), m_wake(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

CWmScreenRecorder::~CWmScreenRecorder()
{
    CAudioCapture::Stop();  // the device, before anything its callback writes into goes
}

RECT CWmScreenRecorder::RecordingRect() const
{
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (m_recordedWindow && IsWindow(m_recordedWindow))
        GetClientRect(m_recordedWindow, &r);
    r.bottom = r.top + EvenRecordingHeight(r.bottom - r.top);
    return r;
}

void CWmScreenRecorder::RequestStop()
{
    m_intervalMs = 0;
    if (m_wake)
        SetEvent(m_wake.get());
}

void CWmScreenRecorder::Fail(const char* text, HRESULT hr)
{
    m_errorText = text;
    m_errorCode = hr;
    DHLog::Instance().Print(kLogRecording, 1, false, "%s (0x%08lX)\n", text, static_cast<unsigned long>(hr));
}

int CWmScreenRecorder::RecordThread(uint32_t sequence)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue frames are posted to
    PostMessageW(m_owner, WM_RECORDING_STARTED, sequence, static_cast<LPARAM>(GetCurrentThreadId()));
    int result;
    {
        ComApartment com;
        try {
            result = Record();
        } catch (const std::exception& e) {
            DHLog::Instance().Print(kLogRecording, 1, false, "The recording thread failed: %s\n", e.what());
            result = kRecordingException;
        } catch (...) {
            DHLog::Instance().Print(kLogRecording, 1, false, "The recording thread failed.\n");
            result = kRecordingException;
        }
        CAudioCapture::Stop();  // no sound into a writer that ends
        if (m_writer) {
            m_writer->End();
            if (m_errorText.empty() && !m_writer->ErrorText().empty()) {
                m_errorText = m_writer->ErrorText();
                m_errorCode = m_writer->ErrorCode();
            }
            m_writer.reset();
        }
        if (result == kRecordingException && m_errorText.empty())
            Fail("The recording thread ended by an exception", E_UNEXPECTED);
        if (m_memoryDc) {
            DeleteDC(m_memoryDc);
            m_memoryDc = nullptr;
        }
    }
    PostMessageW(m_owner, WM_RECORDING_ENDED, static_cast<WPARAM>(result), static_cast<LPARAM>(sequence));
    HBITMAP late = nullptr;
    TakeWaitingFrames(late);  // frames that came after the last interval
    DeleteGdiObject(late);
    return result;
}

void CWmScreenRecorder::TakeWaitingFrames(HBITMAP& newest)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != PLM_RECORD_FRAME) {
            DispatchMessageW(&msg);
            continue;
        }
        HBITMAP frame = reinterpret_cast<HBITMAP>(msg.wParam);
        if (!frame)
            continue;
        if (!m_external) {
            DeleteGdiObject(frame);  // not ours to write
            continue;
        }
        DeleteGdiObject(newest);
        newest = frame;
    }
}

int CWmScreenRecorder::Record()
{
    const RECT rect = RecordingRect();
    const int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
    m_intervalMs = FrameIntervalMs(m_fps);
    m_frameLine = RecordingTimeline(m_fps);
    m_soundLine = RecordingTimeline(m_fps);
    m_writer = std::make_unique<WmMediaWriter>(m_binding);
    if (!m_writer->Init(width, height, m_fps, m_file))
        return kRecordingSetupFailed;

    GdiObject<HBITMAP> current;  // the viewer's newest frame, written again when no new one came
    // Frames are taken at their due times, so the time a capture and its
    // write take does not slow the rate; a loop that fell behind by more
    // than a frame starts its count again from now instead of bursting.
    ULONGLONG due = GetTickCount64();
    while (m_intervalMs != 0) {
        const unsigned interval = m_intervalMs;
        due += interval;
        const ULONGLONG now = GetTickCount64();
        if (now > due + interval)
            due = now;
        const DWORD wait = due > now ? static_cast<DWORD>(due - now) : 0;
        if (WaitForSingleObject(m_wake.get(), wait) == WAIT_OBJECT_0 || m_intervalMs == 0)
            break;
        HBITMAP newest = nullptr;
        TakeWaitingFrames(newest);
        if (newest)
            current.Reset(newest);
        if (m_paused)
            continue;
        int written;
        if (m_external) {
            if (!current)
                continue;
            written = WriteBitmap(current.get());
        } else {
            GdiObject<HBITMAP> capture(CaptureScreen(width, height));
            if (!capture) {
                Fail("Unable to Capture the Screen", HRESULT_FROM_WIN32(GetLastError()));
                return kRecordingWriteFailed;
            }
            written = WriteBitmap(capture.get());
        }
        if (written != kRecordingStopped)
            return written;
    }
    return kRecordingStopped;
}

HBITMAP CWmScreenRecorder::CaptureScreen(int32_t width, int32_t height)
{
    ScreenDc screen;
    if (!screen.get())
        return nullptr;
    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    MemoryDc dc(screen.get());
    if (!bitmap || !dc)
        return nullptr;
    dc.Select(bitmap.get());
    const int screenWidth = GetDeviceCaps(screen.get(), HORZRES);
    const int screenHeight = GetDeviceCaps(screen.get(), VERTRES);
    SetStretchBltMode(dc.get(), COLORONCOLOR);
    // The same size needs no stretching, and a plain copy is much faster.
    const BOOL copied = width == screenWidth && height == screenHeight
                            ? BitBlt(dc.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY | CAPTUREBLT)
                            : StretchBlt(dc.get(), 0, 0, width, height, screen.get(), 0, 0, screenWidth,
                                         screenHeight, SRCCOPY | CAPTUREBLT);
    if (!copied)
        return nullptr;
    DrawCursor(dc.get(), width, height, screenWidth, screenHeight);
    return bitmap.Release();  // deselected when dc goes
}

int CWmScreenRecorder::WriteBitmap(HBITMAP frame)
{
    if (!m_writer->Began()) {
        int depth = 0;
        SIZE size = BitmapSize(frame, &depth);
        if (!m_memoryDc)
            m_memoryDc = CreateCompatibleDC(nullptr);
        if (!m_memoryDc) {
            Fail("Unable to Create Device Context", HRESULT_FROM_WIN32(GetLastError()));
            return kRecordingWriteFailed;
        }
        m_frameWidth = size.cx;
        m_frameHeight = size.cy;
        m_frameDepth = depth == 16 || depth == 24 ? depth : 32;
        if (!m_writer->Begin(m_frameWidth, m_frameHeight, m_frameDepth))
            return kRecordingWriteFailed;
        if (!Init() || !Start())  // the microphone, from the first frame on
            DHLog::Instance().Print(kLogRecording, 2, false, "The recording goes on without sound.\n");
    }
    const uint32_t bytes = FrameImageBytes(m_frameWidth, m_frameHeight, m_frameDepth);
    const RecordingTimeline::Frame stamp = m_frameLine.NextFrame();
    auto fill = [this, frame](uint8_t* sample, uint32_t n) { return FillSample(frame, sample, n); };
    if (m_writer->WriteFrame(bytes, stamp.time, stamp.cleanPoint, fill) == WmMediaWriter::Written::Failed)
        return kRecordingWriteFailed;
    ++m_framesWritten;
    return kRecordingStopped;
}

bool CWmScreenRecorder::FillSample(HBITMAP frame, uint8_t* sample, uint32_t bytes)
{
    if (bytes != FrameImageBytes(m_frameWidth, m_frameHeight, m_frameDepth))
        return false;
    // A frame of another size than the first is brought to the first's.
    GdiObject<HBITMAP> scaled;
    SIZE size = BitmapSize(frame);
    if (size.cx != m_frameWidth || size.cy != m_frameHeight) {
        ScreenDc screen;
        MemoryDc from(m_memoryDc), to(m_memoryDc);
        scaled.Reset(CreateCompatibleBitmap(screen.get(), m_frameWidth, m_frameHeight));
        if (!scaled || !from || !to)
            return false;
        from.Select(frame);
        to.Select(scaled.get());
        SetStretchBltMode(to.get(), COLORONCOLOR);
        StretchBlt(to.get(), 0, 0, m_frameWidth, m_frameHeight, from.get(), 0, 0, size.cx, size.cy, SRCCOPY);
    }
    BITMAPINFO info{};
    info.bmiHeader = FrameBitmapHeader(m_frameWidth, m_frameHeight, m_frameDepth);
    HBITMAP source = scaled ? scaled.get() : frame;
    return GetDIBits(m_memoryDc, source, 0, static_cast<UINT>(m_frameHeight), sample, &info, DIB_RGB_COLORS) ==
           m_frameHeight;
}

void CWmScreenRecorder::OnAudioData(const WAVEHDR& header)
{
    if (m_paused || !m_writer || header.dwBytesRecorded == 0 || !header.lpData)
        return;
    const int64_t time = m_soundLine.NextSound(header.dwBytesRecorded);
    m_writer->WriteSound(reinterpret_cast<const uint8_t*>(header.lpData), header.dwBytesRecorded, time);
}

RecordingRun::~RecordingRun()
{
    Stop(kStopLimitMs);
}

bool RecordingRun::Start(std::shared_ptr<CWmScreenRecorder> recorder, uint32_t sequence)
{
    if (!recorder || m_thread.Started())
        return false;
    m_recorder = recorder;
    return m_thread.Start([recorder, sequence] { recorder->RecordThread(sequence); });
}

bool RecordingRun::Stop(unsigned limitMs)
{
    if (!m_recorder)
        return true;
    m_recorder->RequestStop();
    const bool joined = m_thread.Join(limitMs);
    if (!joined)
        DHLog::Instance().Print(kLogRecording, 1, false,
                                "The recording thread did not end within %u ms; it finishes on its own.\n", limitMs);
    m_recorder.reset();
    return joined;
}
