#pragma once
// The active-meetings window's view of the program: the manager's meeting
// fields and the appliance services' request session.
#include "appliance/ui/MeetingListContext_win.h"

class CManager;
class ProgramAppliance;

class ProgramMeetingList : public MeetingListContext {
public:
    ProgramMeetingList(CManager& manager, ProgramAppliance& appliance) : m_manager(manager), m_appliance(appliance) {}

    HINSTANCE Instance() const override;
    DWORD MainThreadId() const override;
    CgiSession& PreparedSession() override;
    std::wstring EventPrefix() const override;
    std::wstring OwnDisplayName() const override;
    void SetMeetingToJoin(const MeetingRecord& meeting, const std::string& codeUtf8) override;

private:
    CManager& m_manager;
    ProgramAppliance& m_appliance;
};
