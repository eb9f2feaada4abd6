#include "core/app/ProgramSetup_win.h"

#include "appliance/cgi/CgiSession.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"

#include <ctime>

HINSTANCE ProgramSetup::Instance() const { return m_manager.instance; }

DWORD ProgramSetup::MainThreadId() const { return m_manager.mainThreadId; }

CgiSession& ProgramSetup::PreparedSession() { return m_appliance.PreparedSession(); }

std::wstring ProgramSetup::EventPrefix() const { return m_manager.MakeEventPrefix(0); }

std::wstring ProgramSetup::OwnDisplayName() const { return m_manager.ownDisplayName; }

const LocalZone& ProgramSetup::Zone() const { return SystemZone(); }

int64_t ProgramSetup::Now() const { return static_cast<int64_t>(std::time(nullptr)); }

std::string ProgramSetup::OpenMeetingName() const { return m_manager.meetingName; }

s_mem ProgramSetup::OpenMeetingCode() const
{
    // The code the meeting was created or joined with.
    if (!m_manager.meetingCode.IsEmpty())
        return m_manager.meetingCode;
    return m_appliance.LastSession().meetingPassword;
}

void ProgramSetup::KeepMeeting(const ScheduledMeeting& meeting)
{
    m_manager.meetingName = meeting.nameUtf8;
    m_manager.meetingCode = meeting.code;
    m_manager.scheduleStartDate = meeting.startDate;
    m_manager.scheduleStartTime = meeting.startTime;
    m_manager.scheduleEndDate = meeting.endDate;
    m_manager.scheduleEndTime = meeting.endTime;
}

void ProgramSetup::SetMeetingState(int state) { m_manager.meetingState = state; }

void ProgramSetup::TakeStartedMeeting() { m_manager.meetingId = m_appliance.LastSession().meetingId; }

void ProgramSetup::SendInvitations(const InvitationTexts& texts)
{
    m_appliance.SendInvitations(texts);
}

void ProgramSetup::Logout() { m_appliance.Logout(); }

HINSTANCE ProgramInvite::Instance() const { return m_manager.instance; }

CgiSession& ProgramInvite::PreparedSession() { return m_appliance.PreparedSession(); }

std::unique_ptr<ICgiTransport> ProgramInvite::MakeTransport() { return std::make_unique<WinHttpTransport>(); }

std::wstring ProgramInvite::EventPrefix() const { return m_manager.MakeEventPrefix(0); }

std::string ProgramInvite::MeetingName() const { return m_manager.meetingName; }
