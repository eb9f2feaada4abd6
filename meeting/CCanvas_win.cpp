#include "meeting/CCanvas.h"

CCanvas::CCanvas(int kind) : m_kind(kind) {}

CCanvas::~CCanvas() = default;

// Drawing, sending and applying canvas messages belong to the meeting room,
// which is not built yet.
void CCanvas::SendControl(int, int, int, int, int) {}

void CCanvas::ApplyMessage(const char*) {}

void CCanvas::Close()
{
    if (m_threadId != 0)
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
}

int CCanvas::IsWhiteboardVisible(int* visible)
{
    if (m_kind != kCanvasWhiteboard || m_hWnd == nullptr || !IsWindow(m_hWnd) || visible == nullptr)
        return 0;
    *visible = IsWindowVisible(m_hWnd) ? 1 : 0;
    return 1;
}

void CCanvas::ShowWhiteboard(int show)
{
    if (m_kind == kCanvasWhiteboard && m_hWnd != nullptr && IsWindow(m_hWnd))
        ShowWindow(m_hWnd, show);
}

// The annotation window belongs to the canvas, which is not built yet.
void CCanvas::StartAnnotationThread(int) {}

CCanvasMessager::CCanvasMessager(CCanvas* canvas, MeetingContext* meeting)
    : m_canvas(canvas), m_meeting(meeting)
{
}

CCanvasMessager::~CCanvasMessager() = default;
