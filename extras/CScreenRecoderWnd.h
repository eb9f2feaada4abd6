#pragma once
// The recording console of a meeting: a small top-most window "Meeting
// Recorder" with Record, Pause (Resume while paused) and Stop and a running
// clock. Each Record makes a new recorder; a recording that ends by itself
// with an error returns the console to idle and tells the user what failed.
#include "core/base/CHeap.h"
#include "extras/RecorderConsoleState.h"
#include "extras/WmWriterBinding.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

class MeetingContext;
class CWmScreenRecorder;
class RecordingRun;

// WM_COMMAND ids of the console's buttons.
constexpr WPARAM kRecorderRecordCommand = 1;
constexpr WPARAM kRecorderPauseCommand = 2;
constexpr WPARAM kRecorderStopCommand = 3;
constexpr int kFrameSourceOwnCapture = 0;
constexpr int kFrameSourceViewer = 1;
constexpr UINT_PTR kRecorderClockTimer = 1;

class CScreenRecoderWnd : public CHeap {
public:
    explicit CScreenRecoderWnd(MeetingContext* meeting);
    // Stops a running recording (its thread joined) before the window goes.
    ~CScreenRecoderWnd() override;
    CScreenRecoderWnd(const CScreenRecoderWnd&) = delete;
    CScreenRecoderWnd& operator=(const CScreenRecoderWnd&) = delete;

    // Makes the console window, hidden; false when it could not be made.
    bool Create();

    void SetMediaFolder(const std::wstring& folder) { m_mediaFolder = folder; }
    const std::wstring& MediaFolder() const { return m_mediaFolder; }
    // Stops a running recording and waits (with a limit) for its thread.
    void StopCaptureThread();
    // Stops a running recording first, then switches the frame source.
    void SetFrameSource(int source);
    int FrameSource() const { return m_frameSource; }
    bool IsRecording() const { return m_recording != 0; }
    DWORD RecordingThreadId() const { return m_recordThreadId; }
    HWND Window() const { return m_hWnd; }

    // The writer library new recordings use; the system's until set.
    void SetWriterBinding(WmWriterBinding binding);
    void SetFramesPerSecond(int fps) { m_fps = fps; }
    void SetRecordedWindow(HWND window) { m_recordedWindow = window; }
    ConsoleState State() const { return m_console.State(); }
    // The file of the latest recording.
    const std::wstring& LastFile() const { return m_lastFile; }

    HWND m_hWnd = nullptr;
    std::atomic<int> m_recording{0};
    DWORD m_recordThreadId = 0;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void OnButton(WPARAM id);
    bool StartRecording();
    void EndRecording();
    void OnThreadEnded(int result, uint32_t sequence);
    void ShowClock();
    void SetPauseText(bool paused);
    void ShowFailure(const std::wstring& text);
    std::wstring ReserveFile(DWORD& error);
    void DropEmptyFile();

    MeetingContext* m_meeting;
    std::wstring m_mediaFolder;
    int m_frameSource = kFrameSourceOwnCapture;
    int m_fps;
    HWND m_recordedWindow = nullptr;
    HWND m_toolbar = nullptr;
    HWND m_clock = nullptr;
    RecorderConsoleState m_console;
    WmWriterBinding m_binding;
    bool m_bindingSet = false;
    std::unique_ptr<RecordingRun> m_run;
    std::shared_ptr<CWmScreenRecorder> m_recorder;  // the latest, kept for its error
    std::wstring m_lastFile;
};
