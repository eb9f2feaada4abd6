#pragma once
// The meeting setup and invitation windows' view of the program: the
// manager's meeting fields and the appliance services' request session.
#include "appliance/ui/Invite_win.h"
#include "appliance/ui/SetupContext_win.h"

class CManager;
class ProgramAppliance;

class ProgramSetup : public SetupContext {
public:
    ProgramSetup(CManager& manager, ProgramAppliance& appliance) : m_manager(manager), m_appliance(appliance) {}

    HINSTANCE Instance() const override;
    DWORD MainThreadId() const override;
    CgiSession& PreparedSession() override;
    std::wstring EventPrefix() const override;
    std::wstring OwnDisplayName() const override;
    const LocalZone& Zone() const override;
    int64_t Now() const override;
    std::string OpenMeetingName() const override;
    s_mem OpenMeetingCode() const override;
    void KeepMeeting(const ScheduledMeeting& meeting) override;
    void SetMeetingState(int state) override;
    void TakeStartedMeeting() override;
    void SendInvitations(const InvitationTexts& texts) override;
    void Logout() override;

private:
    CManager& m_manager;
    ProgramAppliance& m_appliance;
};

class ProgramInvite : public InviteContext {
public:
    ProgramInvite(CManager& manager, ProgramAppliance& appliance) : m_manager(manager), m_appliance(appliance) {}

    HINSTANCE Instance() const override;
    CgiSession& PreparedSession() override;
    std::unique_ptr<ICgiTransport> MakeTransport() override;
    std::wstring EventPrefix() const override;
    std::string MeetingName() const override;

private:
    CManager& m_manager;
    ProgramAppliance& m_appliance;
};
