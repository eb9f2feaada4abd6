#pragma once
// One recording of a meeting into a Windows Media file: a thread that takes a
// frame every interval (the screen, or the newest frame the viewer posted)
// and writes it, and the microphone's sound from the capture base. A new
// recorder is made for each recording; its thread shares it, so a thread that
// outlives its stop's limit still finds everything it uses.
#include "core/base/BoundedThread.h"
#include "extras/AudioCapture_win.h"
#include "extras/RecordingTimeline.h"
#include "extras/WmMediaWriter.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// To the owner window: the thread started (wParam the recording's sequence
// number, lParam its thread id), and ended (wParam the result, lParam the
// sequence number).
constexpr UINT WM_RECORDING_STARTED = WM_USER + 4;
constexpr UINT WM_RECORDING_ENDED = WM_USER + 1;
enum RecordingResult : int {
    kRecordingStopped = 0,
    kRecordingSetupFailed = -2,
    kRecordingWriteFailed = -3,
    kRecordingException = -4,
};

class CWmScreenRecorder : public CAudioCapture {
public:
    CWmScreenRecorder(WmWriterBinding binding, HWND owner);
    ~CWmScreenRecorder() override;

    // Before the thread starts.
    void SetFramesPerSecond(int fps) { m_fps = fps; }
    // The window whose client rectangle sizes the video; null: the screen.
    void SetRecordedWindow(HWND window) { m_recordedWindow = window; }
    // Frames arrive as PLM_RECORD_FRAME bitmaps (owned by the receiver).
    void SetExternalFrames(bool external) { m_external = external; }
    void SetOutputFile(const std::wstring& file) { m_file = file; }

    // The recording rectangle: the recorded window's client rectangle or
    // the screen, its height made even.
    RECT RecordingRect() const;
    // While paused no frame and no sound is written and the stamps stand.
    void SetPaused(bool paused) { m_paused = paused; }
    // Ends the loop at once (the thread then finishes the file).
    void RequestStop();

    // Runs on the recording thread: the whole recording, then the end
    // notice to the owner. Returns the result.
    int RecordThread(uint32_t sequence);

    // After the thread ended: the failed step and its code.
    const std::string& ErrorText() const { return m_errorText; }
    HRESULT ErrorCode() const { return m_errorCode; }
    uint64_t FramesWritten() const { return m_framesWritten; }

protected:
    void OnAudioData(const WAVEHDR& header) override;

private:
    int Record();
    HBITMAP CaptureScreen(int32_t width, int32_t height);
    int WriteBitmap(HBITMAP frame);
    bool FillSample(HBITMAP frame, uint8_t* sample, uint32_t bytes);
    void TakeWaitingFrames(HBITMAP& newest);
    void Fail(const char* text, HRESULT hr);

    WmWriterBinding m_binding;
    HWND m_owner;
    HWND m_recordedWindow = nullptr;
    int m_fps = 1;
    bool m_external = false;
    std::wstring m_file = L"ScreenRecode.wmv";
    std::atomic<bool> m_paused{false};
    std::atomic<unsigned> m_intervalMs{1000};
    WinHandle m_wake;  // set by RequestStop

    std::unique_ptr<WmMediaWriter> m_writer;
    RecordingTimeline m_frameLine{1};
    RecordingTimeline m_soundLine{1};
    int32_t m_frameWidth = 0, m_frameHeight = 0;
    int m_frameDepth = 0;
    HDC m_memoryDc = nullptr;
    std::atomic<uint64_t> m_framesWritten{0};
    std::string m_errorText;
    HRESULT m_errorCode = S_OK;
};

// A recorder with its thread: started once, stopped with a limit.
class RecordingRun {
public:
    // Joins with its limit.
    ~RecordingRun();
    bool Start(std::shared_ptr<CWmScreenRecorder> recorder, uint32_t sequence);
    // Asks the loop to end and waits up to limitMs; false when the limit
    // passed (logged; the thread keeps the recorder until it ends).
    bool Stop(unsigned limitMs);
    CWmScreenRecorder* Recorder() const { return m_recorder.get(); }

    static constexpr unsigned kStopLimitMs = 10000;

private:
    std::shared_ptr<CWmScreenRecorder> m_recorder;
    BoundedThread m_thread;
};
