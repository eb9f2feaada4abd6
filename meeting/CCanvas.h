#pragma once
// The two canvases of a meeting: annotation over the shared screen (kind 0)
// and the whiteboard (kind 1), each with the messager that sends its changes.
#include "core/base/CHeap.h"

#include <windows.h>

class MeetingContext;

constexpr int kCanvasAnnotation = 0;
constexpr int kCanvasWhiteboard = 1;

class CCanvas : public CHeap {
public:
    explicit CCanvas(int kind);
    ~CCanvas() override;
    CCanvas(const CCanvas&) = delete;
    CCanvas& operator=(const CCanvas&) = delete;

    // Sends a canvas control code with four values (code 5 on a join).
    void SendControl(int code, int a, int b, int c, int d);
    // Applies one received canvas message; called from both receive threads.
    void ApplyMessage(const char* text);
    // Ends the canvas window by posting WM_QUIT to its thread.
    void Close();
    // Whiteboard with a live window: its visibility into *visible, 1.
    // Otherwise 0 and *visible unchanged.
    int IsWhiteboardVisible(int* visible);
    // Whiteboard with a live window: ShowWindow(show); otherwise nothing.
    void ShowWhiteboard(int show);
    // Annotation over the shared screen on a thread of its own (mode 2 from
    // the control bar).
    void StartAnnotationThread(int mode);

    int Kind() const { return m_kind; }

    HWND m_hWnd = nullptr;
    DWORD m_threadId = 0;

private:
    int m_kind;
};

class CCanvasMessager : public CHeap {
public:
    CCanvasMessager(CCanvas* canvas, MeetingContext* meeting);
    ~CCanvasMessager() override;

private:
    CCanvas* m_canvas;
    MeetingContext* m_meeting;
};
