#include "core/app/ProgramMeetingList_win.h"

#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"
#include "core/base/SecureZero.h"
#include "core/base/StoredSecret.h"

#include <vector>

HINSTANCE ProgramMeetingList::Instance() const
{
    return m_manager.instance;
}

DWORD ProgramMeetingList::MainThreadId() const
{
    return m_manager.mainThreadId;
}

CgiSession& ProgramMeetingList::PreparedSession()
{
    return m_appliance.PreparedSession();
}

std::wstring ProgramMeetingList::EventPrefix() const
{
    return m_manager.MakeEventPrefix(0);
}

std::wstring ProgramMeetingList::OwnDisplayName() const
{
    return m_manager.ownDisplayName;
}

void ProgramMeetingList::SetMeetingToJoin(const MeetingRecord& meeting, const std::string& codeUtf8)
{
    m_manager.meetingId = meeting.meetingID;
    m_manager.meetingName = meeting.meetingName;
    m_manager.waitMessage = meeting.waitMsg;
    std::vector<char> code(codeUtf8.begin(), codeUtf8.end());
    code.push_back('\0');
    CgiSession& session = m_appliance.PreparedSession();
    session.meetingPassword.Clear();
    EncryptStoredString(code.data(), session.meetingPassword);
    SecureWipe(code);
}
