// The services the program runs with today. The meeting transport (loopback
// channels, tunnels, relay and receive threads) and the appliance services
// with their windows are wired in here as they are built; until then each
// reports failure, so the manager takes its failure paths: no login window
// means the run ends after logging "Cannot initialize the login module.", and
// a meeting cannot be entered.
#include "core/ManagerServices.h"

namespace {

class NoMeetingTransport : public MeetingTransport {
public:
    bool StartLocalListener() override { return false; }
    bool CreateLocalSockets(int) override { return false; }
    bool OpenTunnel(int) override { return false; }
    bool HasTunnel(int) const override { return false; }
    bool SendHello(const std::string&, int, const std::wstring&, const std::string&) override { return false; }
    bool StartMeetingThreads() override { return false; }
    void DropSharing() override {}
    void CloseAndJoin() override {}
    SOCKET SharingClientEnd() const override { return INVALID_SOCKET; }
    bool WriteSharingAcceptedEnd(const void*, size_t) override { return false; }
    void SendSharingState(int, int) override {}
};

class NoApplianceServices : public ApplianceServices {
public:
    bool CreateSession() override { return true; }
    int SessionTest() override { return kNoService; }
    int MeetingTest() override { return kNoService; }
    int RunJoinWorker() override { return kNoService; }
    bool ReadParticipants() override { return false; }
    void ReadProxySettings(bool) override {}
    void ResolveApplianceHost() override {}
    bool AskProxyCredentials() override { return false; }
    bool CreateLogin() override { return false; }
    void DestroyLogin() override {}
    HWND LoginWindow() const override { return nullptr; }
    void SetLoginServer(const std::string&) override {}
    bool CreateMeetingList(int) override { return false; }
    void DestroyMeetingList() override {}
    bool HasMeetingList() const override { return false; }
    bool CreateMeetingSetup(bool) override { return false; }
    void DestroyMeetingSetup() override {}
    bool HasMeetingSetup() const override { return false; }
    bool CreateInvite() override { return false; }
    void DestroyInvite() override {}
    void ShowInvite() override {}
    void StoreDefaultProfile(const std::string&, const std::wstring&) override {}
    void StartPasswordExpiryPrompt() override {}
    int UpgradeClient(bool) override { return 0; }
    bool IsMeetingDetailsVisible() const override { return false; }
    void ToggleMeetingDetails() override {}

private:
    static constexpr int kNoService = 1;  // CGI_FAILED
};

} // namespace

ManagerServices MakeProgramServices()
{
    ManagerServices s;
    s.transport = std::make_unique<NoMeetingTransport>();
    s.appliance = std::make_unique<NoApplianceServices>();
    return s;
}
