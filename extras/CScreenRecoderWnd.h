#pragma once
// The recording console of a meeting.
#include "core/base/CHeap.h"

#include <windows.h>

#include <atomic>
#include <string>

class MeetingContext;

constexpr WPARAM kRecorderStopCommand = 3;
constexpr int kFrameSourceOwnCapture = 0;
constexpr int kFrameSourceViewer = 1;

class CScreenRecoderWnd : public CHeap {
public:
    explicit CScreenRecoderWnd(MeetingContext* meeting);
    // Stops its capture and recording threads first.
    ~CScreenRecoderWnd() override;
    CScreenRecoderWnd(const CScreenRecoderWnd&) = delete;
    CScreenRecoderWnd& operator=(const CScreenRecoderWnd&) = delete;

    void SetMediaFolder(const std::wstring& folder) { m_mediaFolder = folder; }
    const std::wstring& MediaFolder() const { return m_mediaFolder; }
    // Clears the run flag and waits for the capture thread to end.
    void StopCaptureThread();
    // Stops the own capture first, then switches the frame source.
    void SetFrameSource(int source);
    int FrameSource() const { return m_frameSource; }
    bool IsRecording() const { return m_recording != 0; }
    DWORD RecordingThreadId() const { return m_recordThreadId; }
    HWND Window() const { return m_hWnd; }

    HWND m_hWnd = nullptr;
    std::atomic<int> m_recording{0};
    DWORD m_recordThreadId = 0;

private:
    MeetingContext* m_meeting;
    std::wstring m_mediaFolder;
    int m_frameSource = kFrameSourceOwnCapture;
};
