#include "meeting/CChat.h"

#include "core/base/MeetingContext.h"

CChat::CChat(MeetingContext* meeting) : m_meeting(meeting) {}

CChat::~CChat()
{
    m_drain.Stop();
    if (m_hPane && IsWindow(m_hPane))
        DestroyWindow(m_hPane);
}

// The chat dialog and docking belong to the meeting room, which is not built
// yet: no pane exists until then.
void CChat::CreateDlg() {}

// Until the chat's own receiver comes, what peers write is read and dropped,
// so their chat never fills a channel nobody reads.
void CChat::StartReceive()
{
    if (m_meeting)
        m_drain.Start(m_meeting->FeatureChannelEnd(MeetingContext::FeatureChannel::Chat));
}

void CChat::DockInto(HWND) {}
