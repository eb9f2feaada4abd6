#include "extras/CScreenRecoderWnd.h"

CScreenRecoderWnd::CScreenRecoderWnd(MeetingContext* meeting) : m_meeting(meeting) {}

CScreenRecoderWnd::~CScreenRecoderWnd()
{
    StopCaptureThread();
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

// The console window, capture and recording threads belong to the meeting
// extras, which are not built yet: no capture thread runs.
void CScreenRecoderWnd::StopCaptureThread() {}

void CScreenRecoderWnd::SetFrameSource(int source)
{
    StopCaptureThread();
    m_frameSource = source;
}
