// The screen-sharing steps (messages 60109-60116) and the sharing endpoints.
#include "core/app/Manager.h"

#include "Customer/capture/MagnifierCapture.h"
#include "Customer/session/vncServer.h"
#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/TechnicianGUI.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/app/MeetingHandlers_win.h"
#include "core/app/Startup.h"
#include "core/base/TextConvert.h"
#include "core/base/VisualEffects.h"
#include "core/base/WindowUtil.h"
#include "core/app/res/resource.h"
#include "extras/CScreenRecoderWnd.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/CCtrlMenu.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/PartiMark.h"

void CManager::StepTo(int step)
{
    prevSharingStep = sharingStep.load();
    sharingStep = step;
}

void CManager::SendSharingState()
{
    Transport().SendSharingState(prevSharingStep, sharingStep);
}

bool CManager::SharingViewOpen()
{
    return m_meetingOpen && Transport().HasTunnel(1);
}

void CManager::OnOpenSharingView()
{
    int server = serverSharingState;
    if (!m_meetingOpen || prevSharingStep != 1 || (server != 1 && server != 3))
        return;
    if (!Transport().CreateLocalSockets(1))
        return;
    if (!Transport().OpenTunnel(1)) {
        // No view on a dead channel. The step stays, so the lobby's next
        // refresh asks again; the user is told meanwhile.
        Transport().DropSharing();
        static ResStringSlot text, caption;
        const wchar_t* message = LoadResString(text, IDS_SHARING_FAILED);
        DHLog::Instance().PrintW(0x08, 1, false, L"%s%s\n", MakeEventPrefix(0).c_str(), message);
        ShowTrayBalloon(LoadResString(caption, IDS_WARNING), message);
        return;
    }
    Sleep(tunnelSettleMs);
    HWND lobbyWindow = lobby ? lobby->Window() : nullptr;
    if (role == 0) {
        StartViewerGui(lobbyWindow);
        if (lobbyWindow)
            ShowWindow(lobbyWindow, SW_HIDE);
        Sleep(10);
    } else {
        if (GetOsVersionClass() >= 5 && SetDwmComposition(false))
            compositionOff = 1;
        RestoreVisualEffects(2, 0, kEffectsColumnApply);
    }
    if (!controlMenu)
        controlMenu = MakeControlMenu();
    if (chat)
        chat->SetPaneState(role == 1 ? 5 : 6);
    SetRecorderFrameSource(role == 1 ? kFrameSourceOwnCapture : kFrameSourceViewer);
    StepTo(2);
    SendSharingState();
}

void CManager::OnCreateVncServer()
{
    // Only on an open sharing view: a late message after the meeting or its
    // sharing ended finds nothing to serve.
    if (prevSharingStep != 1 || !SharingViewOpen())
        return;
    CreateVncServer();
    if (!vncServerObj || !WaitVncServerCreated()) {
        // Nothing would serve the participants: sharing ends here rather than
        // announcing a picture that never comes. The lobby may ask again.
        static ResStringSlot text, caption;
        const wchar_t* message = LoadResString(text, IDS_SHARING_FAILED);
        DHLog::Instance().PrintW(0x08, 1, false, L"%s%s\n", MakeEventPrefix(0).c_str(), message);
        OnStopSharing();
        ShowTrayBalloon(LoadResString(caption, IDS_WARNING), message);
        return;
    }
    StepTo(3);
    SendSharingState();
}

void CManager::OnCreateViewer()
{
    // As for the server; a late message must not end a meeting (or log out).
    if (prevSharingStep != 1 || !SharingViewOpen())
        return;
    if (CreateViewer() == 1) {
        WaitVncServerCreated();
        StepTo(3);
        if (recorderWindow && recorderWindow->Window()) {
            ShowWindow(recorderWindow->Window(), SW_HIDE);
            SendMessageW(recorderWindow->Window(), WM_COMMAND, kRecorderStopCommand, 0);
        }
        SendSharingState();
        return;
    }
    // The whole meeting goes, as on a logout, and the user is told why.
    EndMeeting(MeetingEnd::Logout);
    static ResStringSlot text, caption;
    const wchar_t* message = LoadResString(text, IDS_VIEWER_FAILED);
    DHLog::Instance().PrintW(0x08, 1, false, L"%s\n", message);
    ShowTrayBalloon(LoadResString(caption, IDS_WARNING), message);
    OpenLoginWindow();
}

void CManager::OnStartMagCapture()
{
    if (prevSharingStep != 2)
        return;
    MagnifierCapture::Init();
    StepTo(4);
    SendSharingState();
    pumpEnabled = 1;
    StartPump();
}

void CManager::OnSharingResume()
{
    if (prevSharingStep != 4)
        return;
    if (role == 1 && vncServerObj) {
        // The host's own server is told directly; a record written into the
        // viewer's byte stream could land inside one of its messages.
        vncServerObj->StopSession();
    } else {
        // The participant's reader is ended first: the record lands between
        // the relay's frames, which may cut a host message, and a reader
        // still running would take the rest of that message for a new one,
        // end by an error and close the view. The next start drops the
        // record with whatever else is pending.
        ClientConnection* conn = viewerFrame ? viewerFrame->m_conn : nullptr;
        if (conn) {
            conn->Stop();
            if (WaitForSingleObject(conn->ReadyEvent(), kViewerReadyWaitMs) != WAIT_OBJECT_0)
                DHLog::Instance().Print(0x08, 2, false, "The viewer was not ready for the sharing resume.\n");
        }
        static const unsigned char resume[8] = {13, 0, 0, 0, 0, 0, 0, 0};
        if (!Transport().WriteSharingAcceptedEnd(resume, sizeof(resume)))
            DHLog::Instance().Print(0x08, 2, false, "The sharing resume record did not go out.\n");
        if (viewerFrame && viewerFrame->m_hwndViewer)
            PostMessageW(viewerFrame->m_hwndViewer, WM_VIEWER_SESSION, 0, 0);
    }
    // The host's server keeps serving; it stays owned until sharing ends.
    prevSharingStep = 1;
    sharingStep = 2;
}

void CManager::OnStopSharing()
{
    if (!m_meetingOpen)
        return;
    StepTo(1);
    // Whatever the role now (it may have changed while sharing): the pump,
    // the server or the viewer are joined, then the sharing side is closed,
    // leaving the one relay on the control tunnel.
    EndSharingEndpoints();
    Transport().DropSharing();
    m_handlers->Requests().EndSharing();
    OnInputWatch(0);  // the watch belongs to the bar
    DeleteAndClear(controlMenu);
    if (recorderWindow && recorderWindow->Window()) {
        SendMessageW(recorderWindow->Window(), WM_COMMAND, kRecorderStopCommand, 0);
        ShowWindow(recorderWindow->Window(), SW_HIDE);
    }
    if (lobby)
        PostThreadMessageW(mainThreadId, PLM_DOCK_PANEL, 1, 0);
    SendSharingState();
    prevSharingStep = 1;
}

void CManager::CreateVncServer()
{
    JoinPump();
    DeleteAndClear(vncServerObj);
    vncServerObj = new ::vncServer(this, Transport().SharingClientEnd());
    if (!vncServerObj)
        return;
    vncServerObj->SetName(WideToAnsi(ownDisplayName, kCodePageUtf8).c_str());
    // A server whose client thread could not start serves nothing and never
    // sets "vnc server is created": it goes at once instead of being kept.
    if (vncServerObj->AddClientDefault(1, 1) != 1) {
        DHLog::Instance().Print(0x08, 1, false, "The sharing server could not start its client.\n");
        DeleteAndClear(vncServerObj);
    }
}

void CManager::SignalViewerStarted()
{
    if (serverCreatedEvent)
        SetEvent(serverCreatedEvent.get());
}

void CManager::EndSharingView()
{
    PostThreadMessageW(mainThreadId, PLM_STOP_SHARING, 0, 0);
}

bool CManager::RecordingViewerFrames() const
{
    return recorderWindow && recorderWindow->IsRecording() && recorderWindow->FrameSource() == kFrameSourceViewer;
}

std::shared_ptr<const AnnotationLayer> CManager::GetAnnotationLayer()
{
    return canvas1 ? canvas1->GetLayerBitmap() : nullptr;
}

void CManager::RepaintSharingView()
{
    PostThreadMessageW(mainThreadId, PLM_REPAINT_SHARING_VIEW, 0, 0);
}

void CManager::PlaceOwnMark(int x, int y)
{
    if (partiMark && partiMarkEnabled)
        partiMark->SendMark(x, y, ownDisplayName);
}

bool CManager::WaitVncServerCreated()
{
    // Without the event (its creation failed at start-up) there is nothing
    // to learn from: go on as if it had come.
    if (!serverCreatedEvent)
        return true;
    bool created = WaitForSingleObject(serverCreatedEvent.get(), serverCreatedWaitMs) == WAIT_OBJECT_0;
    ResetEvent(serverCreatedEvent.get());
    return created;
}

void CManager::StartViewerGui(HWND parent)
{
    DeleteViewerFrame();
    viewerFrame = new TechnicianGUI(this, parent);
    if (!viewerFrame)
        return;
    try {
        viewerFrame->CreateWindows();
    } catch (...) {
        DeleteAndClear(viewerFrame);
    }
}

int CManager::CreateViewer()
{
    if (!viewerFrame)
        return 0;
    if (!viewerFrame->m_conn) {
        ClientConnection* conn = new ClientConnection(this, Transport().SharingClientEnd());
        if (!conn)
            return 0;
        viewerFrame->AttachConnection(conn);
        viewerFrame->UpdateZoomDisplay();
    }
    return viewerFrame->m_conn->Run() == 1 ? 1 : 0;
}
