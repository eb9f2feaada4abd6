#include "Customer/session/vncServer.h"

#include "Customer/session/HostConnection.h"
#include "Customer/session/HostDesktop.h"
#include "Customer/encode/HostLog.h"
#include "Customer/session/vncClient.h"

#include <omnithread.h>

namespace {
// How long deletion waits for the client thread after stopping the
// connection (a waiting read or send then fails within a short slice).
constexpr unsigned kClientJoinMs = 5000;
} // namespace

vncServer::vncServer(std::unique_ptr<HostPlatform> platform, std::unique_ptr<HostConnection> connection)
    : m_platform(std::move(platform)), m_connection(std::move(connection))
{
    Construct();
}

void vncServer::Construct()
{
    m_clientLock = std::make_unique<omni_mutex>();
    m_inputDesktopLock = std::make_unique<omni_mutex>();
    m_desktopLock = std::make_unique<omni_mutex>();
    m_osClass = m_platform->OsClass();
    m_desktopOption = m_osClass == 1 || m_osClass == 2;
    m_blankWithWindow = m_osClass == 1 || m_osClass == 2;
}

vncServer::~vncServer()
{
    HostLog(kHostLogDebugInfo, "shutting down server object\n");
    if (m_client) {
        m_client->StopSession();
        m_connection->Shutdown();
        if (!m_client->JoinClientThread(kClientJoinMs)) {
            // Left behind: what it may still touch is not freed under it.
            HostLog(kHostLogError, "client thread did not end in %u ms\n", kClientJoinMs);
            m_client.release();
            m_desktop.release();
            m_connection.release();
            m_platform.release();
            return;
        }
        omni_mutex_lock hold(*m_clientLock);
        m_client.reset();
    }
    omni_mutex_lock hold(*m_desktopLock);
    m_desktop.reset();
}

std::atomic<bool>& vncServer::InputDesktopLost()
{
    static std::atomic<bool> lost{false};
    return lost;
}

void vncServer::SetName(const char* name)
{
    m_name = name ? name : "";
}

int vncServer::SetDefaultScale(int scale)
{
    if (scale >= 1 && scale <= 9)
        m_defaultScale = scale;
    return 1;
}

int vncServer::AddClient(int a, int b, int flag)
{
    omni_mutex_lock hold(*m_clientLock);
    if (m_client) {
        HostLog(kHostLogError, "failed to initialize client object\n");
        return 0;
    }
    // Whatever an earlier session left set must not pass for this one's start.
    m_platform->ResetServerEvent();
    m_client = std::make_unique<vncClient>(this, m_connection.get(), m_platform.get());
    m_client->SetFlagC(flag);
    m_client->SetKeyboardEnabled(m_inputEnabled);
    m_client->SetPointerEnabled(m_inputEnabled);
    if (!m_client->Init(a, b)) {
        HostLog(kHostLogError, "failed to initialize client object\n");
        m_client.reset();
        return 0;
    }
    HostLog(kHostLogDebugInfo, "AddClient() done\n");
    return 1;
}

// The client thread still uses the desktop, so it is not deleted here: the
// session stops, and the desktop goes once the client thread has been joined.
void vncServer::KillClient()
{
    StopSession();
    HostLog(kHostLogDebugInfo, "KillClient() done\n");
}

void vncServer::StopSession()
{
    omni_mutex_lock hold(*m_clientLock);
    if (m_client)
        m_client->StopSession();
}

void vncServer::RequestScreenUpdate()
{
    omni_mutex_lock hold(*m_clientLock);
    if (m_client)
        m_client->RequestWholeScreen();
}

bool vncServer::SessionEnded()
{
    omni_mutex_lock hold(*m_clientLock);
    return !m_client || m_client->HasFinished();
}

int vncServer::StartDesktop()
{
    omni_mutex_lock hold(*m_desktopLock);
    if (!m_desktop) {
        m_desktop = m_platform->MakeDesktop();
        if (!m_desktop) {
            HostLog(kHostLogError, "failed to create desktop\n");
            return 0;
        }
        if (!m_desktop->Init()) {
            HostLog(kHostLogError, "failed to initialise desktop\n");
            m_desktop.reset();
            return 0;
        }
        // Shared-area hook: the host's clipboard reaches the viewer.
        m_desktop->WatchClipboard([this](const std::string& text) { UpdateClientClipText(text); });
    }
    return 1;
}

HostDesktop* vncServer::GetDesktop()
{
    omni_mutex_lock hold(*m_desktopLock);
    return m_desktop.get();
}

bool vncServer::ClientReady()
{
    omni_mutex_lock hold(*m_clientLock);
    return !m_client || m_client->EncodingsReceived();
}

bool vncServer::ClientUpdateWanted()
{
    omni_mutex_lock hold(*m_clientLock);
    return m_client && m_client->UpdateWanted();
}

bool vncServer::ClientTakeKeyEventFlag()
{
    omni_mutex_lock hold(*m_clientLock);
    return m_client && m_client->TakeKeyEventFlag();
}

int vncServer::SetNewDesktopSize(int width, int height)
{
    omni_mutex_lock hold(*m_clientLock);
    if (m_client && m_client->SetNewDesktopSize(width, height, true))
        return 1;
    HostLog(kHostLogError, "Unable to set new desktop size\n");
    if (m_client)
        m_client->StopSession();
    return 0;
}

void vncServer::UpdateClientClipText(const std::string& text)
{
    if (!ControlGiven())
        return;
    omni_mutex_lock hold(*m_clientLock);
    if (m_client)
        m_client->UpdateClipText(text);
}

void vncServer::UpdateLocalClipText(const std::string& text)
{
    if (!ControlGiven())
        return;
    omni_mutex_lock hold(*m_desktopLock);
    if (m_desktop)
        m_desktop->SetClipText(text);
}
