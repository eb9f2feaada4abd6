// The lobby's commands on the meeting and on a chosen participant. Until
// each is built, its button or menu item does nothing; "Quit Meeting" and the
// coordinator's close leave the meeting.
#include "meeting/CMeetingLobby.h"

void CMeetingLobby::OnStartEndMeeting() {}
void CMeetingLobby::OnPolls() {}
void CMeetingLobby::OnWhiteboard() {}
void CMeetingLobby::OnFileShare() {}
void CMeetingLobby::OnVoice() {}
void CMeetingLobby::OnInvite() {}
void CMeetingLobby::OnRequestControl() {}
void CMeetingLobby::OnRescheduleMeeting() {}
void CMeetingLobby::OnRequestHost() {}
void CMeetingLobby::OnSetHost() {}
void CMeetingLobby::OnSetAssist() {}
void CMeetingLobby::OnSetParticipant() {}
void CMeetingLobby::OnKickOut() {}
void CMeetingLobby::OnSetViewOnly(bool) {}
void CMeetingLobby::OnTakeBackControl() {}
void CMeetingLobby::OnPassControl() {}
void CMeetingLobby::OnRejectControl() {}
void CMeetingLobby::OnRejectAllControl() {}
void CMeetingLobby::OnRejectHost() {}
void CMeetingLobby::OnRejectAllHost() {}
void CMeetingLobby::OnAssistPermission() {}
void CMeetingLobby::OnUnsetAssist() {}
void CMeetingLobby::OnRename() {}
void CMeetingLobby::OnRescheduleResult(WPARAM, LPARAM) {}

void CMeetingLobby::OnQuitMeeting()
{
    m_context->LogEvent(3, L"%sQuit the meeting.\n");
    Leave();
}

void CMeetingLobby::OnEndMeetingChoice()
{
    OnQuitMeeting();
}
