#include "extras/CPolling.h"

namespace {

// Indexed by command - 2000: seven buttons, shared by both panels.
int g_toolbarButtonStates[kPollButtonLast - kPollButtonFirst + 1] = {};

} // namespace

CPolling::CPolling(MeetingContext* meeting, HWND parent, int kind)
    : m_meeting(meeting), m_parent(parent), m_kind(kind)
{
}

CPolling::~CPolling()
{
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

// The panel, poll texts and files belong to the meeting extras, which are not
// built yet.
void CPolling::ShowReceivedPoll(const char*) {}

void CPolling::OnRecvSubmit(const char*) {}

void CPolling::SubmitAnswers() {}

void CPolling::OnAnswerCounted() {}

bool CPolling::SetToolbarButtonState(int command, int state)
{
    if (command < kPollButtonFirst || command > kPollButtonLast)
        return false;
    g_toolbarButtonStates[command - kPollButtonFirst] = state != 0 ? 1 : 0;
    return true;
}

int CPolling::ToolbarButtonState(int command)
{
    if (command < kPollButtonFirst || command > kPollButtonLast)
        return 0;
    return g_toolbarButtonStates[command - kPollButtonFirst];
}
