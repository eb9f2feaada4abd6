#include "core/app/ProgramOptions_win.h"

#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"
#include "core/app/Tray.h"
#include "core/base/MediaFiles.h"
#include "core/base/ThreadMessages.h"

OptionsSnapshot ProgramOptions::Snapshot()
{
    OptionsSnapshot s;
    s.proxy = m_manager.proxy;
    s.proxyType = m_appliance.ProxyType();
    s.partiMark = m_manager.partiMarkEnabled;
    s.audioTransType = m_manager.audioTransType;
    s.mediaFolder = m_manager.tray ? m_manager.tray->MediaFolder() : GetDefaultMediaFolder();
    s.trayWindow = m_manager.tray ? m_manager.tray->Window() : nullptr;
    return s;
}

void ProgramOptions::ApplyProxy(const ProxyConfig& config, uint8_t proxyType)
{
    ProxyConfig& proxy = m_manager.proxy;
    proxy.Enable = config.Enable;
    proxy.AutoProxy = proxyType == PROXY_TYPE_AUTODETECT ? 1 : 0;
    if (proxyType == PROXY_TYPE_SCRIPT)
        proxy.PacURL = config.PacURL;
    if (proxyType == PROXY_TYPE_SERVER)
        proxy.server = config.server;
    m_appliance.SetProxyType(proxyType);
}

void ProgramOptions::ApplyGeneral(int partiMark, int audioTransType, const std::wstring& mediaFolder)
{
    m_manager.partiMarkEnabled = partiMark;
    m_manager.audioTransType = audioTransType;
    if (m_manager.tray)
        m_manager.tray->SetMediaFolder(mediaFolder);
    PostThreadMessageW(m_manager.mainThreadId, PLM_SETTINGS_CHANGED, 0, 0);
}

void ProgramOptions::ProfilesChanged()
{
    if (HWND login = m_appliance.LoginWindow())
        PostMessageW(login, PLM_PROFILES_CHANGED, 0, 0);
}
