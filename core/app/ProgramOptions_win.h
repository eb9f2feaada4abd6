#pragma once
// The options dialog's results in the program: the manager's proxy, mark and
// voice settings, the tray's media folder, and the login window's profile
// list. Runs on the main thread.
#include "core/app/OptionsDialog_win.h"

class CManager;
class ProgramAppliance;

class ProgramOptions : public OptionsHost {
public:
    ProgramOptions(CManager& manager, ProgramAppliance& appliance) : m_manager(manager), m_appliance(appliance) {}

    OptionsSnapshot Snapshot() override;
    void ApplyProxy(const ProxyConfig& config, uint8_t proxyType) override;
    void ApplyGeneral(int partiMark, int audioTransType, const std::wstring& mediaFolder) override;
    void ProfilesChanged() override;

private:
    CManager& m_manager;
    ProgramAppliance& m_appliance;
};
