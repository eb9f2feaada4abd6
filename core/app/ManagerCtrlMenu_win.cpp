// What the control bar reads and asks of the manager: the user's roles, the
// take-back of control, the windows its buttons open and the host's tools.
#include "core/app/Manager.h"

#include "Technician/ui/TechnicianGUI.h"
#include "Technician/ui/ViewerResources.h"
#include "core/app/Tray.h"
#include "core/base/DHLog.h"
#include "extras/CScreenRecoderWnd.h"
#include "meeting/CCanvas.h"
#include "meeting/CCtrlMenu.h"

namespace {

class ManagerCtrlMenuContext : public CtrlMenuContext {
public:
    explicit ManagerCtrlMenuContext(CManager& m) : m_manager(m) {}

    HINSTANCE Instance() const override { return m_manager.instance; }

    BarRoles Roles() const override
    {
        BarRoles r;
        r.ownRole = m_manager.role;
        r.callerRole = m_manager.title;
        std::lock_guard<std::mutex> l(m_manager.participantLock);
        for (const Participant& p : m_manager.participants)
            if (p.sessionID == m_manager.ownSessionId)
                r.assistPermission = static_cast<unsigned>(p.assistpermission);
        return r;
    }

    void PostToProgram(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        PostThreadMessageW(m_manager.mainThreadId, message, wParam, lParam);
    }

    bool TakeControlBack() override
    {
        if (m_manager.serverSharingState != 2 || m_manager.role != 1 || m_manager.ControlHolder().empty())
            return false;
        const bool sent = m_manager.AcceptControlRequest(m_manager.ownSessionId);
        DHLog::Instance().PrintW(0x80, 3, false, L"%sTake back control from the control bar.\n",
                                 m_manager.MakeEventPrefix(0).c_str());
        return sent;
    }

    void RemoveInputWatch() override { m_manager.RemoveInputWatch(); }

    HWND TrayWindow() override { return m_manager.tray ? m_manager.tray->Window() : nullptr; }
    bool RecordingAvailable() override { return m_manager.recordingAvailable != 0; }
    HWND RecorderWindow() override { return m_manager.recorderWindow ? m_manager.recorderWindow->Window() : nullptr; }
    HWND ViewerFrame() override { return m_manager.viewerFrame ? m_manager.viewerFrame->m_hwndFrame : nullptr; }
    bool ViewerFullScreen() override { return m_manager.viewerFrame && m_manager.viewerFrame->FullScreen(); }

    void LeaveViewerFullScreen() override
    {
        if (HWND frame = ViewerFrame())
            SendMessageW(frame, WM_SYSCOMMAND, IDM_FULL_SCREEN, 0);
    }

    void StartAnnotation() override
    {
        if (m_manager.canvas1)
            m_manager.canvas1->StartAnnotationThread(kCanvasAnnotationOwner);
    }

    void StartWhiteboard() override { m_manager.StartWhiteboard(); }

private:
    CManager& m_manager;
};

} // namespace

CCtrlMenu* CManager::MakeControlMenu()
{
    return new CCtrlMenu(std::make_shared<ManagerCtrlMenuContext>(*this));
}

void CManager::RemoveInputWatch()
{
    OnInputWatch(0);
}
