// CManager::OnThreadMessage: every thread message of the program, and the
// handlers that move between login, meeting list, setup and meetings.
#include "core/app/Manager.h"

#include "Customer/input/LocalInputHooks.h"
#include "core/app/AboutDialog.h"
#include "core/base/DHLog.h"
#include "core/base/GdiObject_win.h"
#include "core/base/LoadResString.h"
#include "core/app/MeetingHandlers_win.h"
#include "core/base/ServerAddress.h"
#include "core/base/StringUtil.h"
#include "core/app/Tray.h"
#include "core/base/MediaFiles.h"
#include "core/base/WindowUtil.h"
#include "core/app/res/resource.h"
#include "extras/AudioSpeaker.h"
#include "extras/CPolling.h"
#include "core/app/ManagerPolls_win.h"
#include "extras/CScreenRecoderWnd.h"
#include "extras/FileShare.h"
#include "Technician/ui/TechnicianGUI.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "core/app/ManagerChat_win.h"
#include "meeting/CCtrlMenu.h"
#include "core/app/ManagerLobby_win.h"
#include "meeting/CMeetingLobby.h"

int CManager::OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case PLM_RECORD_FRAME: OnRecordFrame(wParam); break;
    case PLM_SET_FOREGROUND_WND: foregroundWindow = reinterpret_cast<HWND>(wParam); break;
    case PLM_RESET_CTRL_MENU: OnResetCtrlMenu(); break;
    case PLM_QUIT:
        EndMeeting(MeetingEnd::Exit);
        return 0;
    case PLM_SHOW_ACTIVE_MEETINGS: OnShowActiveMeetings(wParam); break;
    case PLM_SHOW_MEETING_SETUP: OnShowMeetingSetup(); break;
    case PLM_LOGOUT:
        EndMeeting(MeetingEnd::Logout);
        OpenLoginWindow();
        break;
    case PLM_LOGIN_CLOSED:
        Appliance().DestroyLogin();
        EndMeeting(MeetingEnd::Exit);
        return 0;
    case PLM_DELETE_CHAT: OnDeleteChat(); break;
    case PLM_START_MEETING: OnEnterMeeting(true); break;
    case PLM_JOIN_MEETING: OnEnterMeeting(false); break;
    case PLM_OPEN_SHARING_VIEW: OnOpenSharingView(); break;
    case PLM_CREATE_VNC_SERVER: OnCreateVncServer(); break;
    case PLM_CREATE_VIEWER: OnCreateViewer(); break;
    case PLM_START_MAG_CAPTURE: OnStartMagCapture(); break;
    case PLM_MEETING_LEFT: OnMeetingLeft(wParam, lParam); break;
    case PLM_SHARING_RESUME_A:
    case PLM_SHARING_RESUME_B: OnSharingResume(); break;
    case PLM_STOP_SHARING: OnStopSharing(); break;
    case PLM_SHOW_ABOUT: OnShowAbout(reinterpret_cast<HWND>(wParam)); break;
    case PLM_SHOW_CHAT: OnShowChat(); break;
    case PLM_DOCK_PANEL: OnDockPanel(wParam, lParam); break;
    case PLM_FOCUS_PANEL: Appliance().ShowInvite(); break;
    case PLM_TRAY_ACTIVATE: OnTrayActivate(wParam); break;
    case PLM_TOGGLE_POLLING: OnTogglePolling(); break;
    case PLM_RESCHEDULE: OnReschedule(); break;
    case PLM_SETUP_DONE: OnSetupDone(wParam, lParam); break;
    case PLM_OPEN_OPTIONS:
        if (tray && tray->Window())
            PostMessageW(tray->Window(), WM_COMMAND, IDM_TRAY_SETTINGS, 0);
        break;
    case PLM_UPGRADE_CLIENT: OnUpgradeClient(wParam); break;
    case PLM_SHOW_MEETING_LIST:
        Appliance().DestroyMeetingSetup();
        Appliance().CreateMeetingList(openedFromList);
        break;
    case PLM_TOGGLE_RECORDER: OnToggleRecorder(wParam); break;
    case PLM_SETTINGS_CHANGED: OnSettingsChanged(); break;
    case PLM_SET_INPUT_WATCH: OnInputWatch(wParam); break;
    case PLM_PASSWORD_CHANGE_ENDED: Appliance().ReturnLoginToServerPage(); break;
    case PLM_REPAINT_SHARING_VIEW:
        if (viewerFrame && viewerFrame->m_hwndViewer)
            InvalidateRect(viewerFrame->m_hwndViewer, nullptr, FALSE);
        break;
    default: break;  // 60123 goes to the login window; others are not ours
    }
    return 1;
}

void CManager::OnRecordFrame(WPARAM frame)
{
    // The frame is a copy that whoever holds it deletes: the recording
    // thread once it has it, else this handler.
    if (frame == 0)
        return;
    if (recorderWindow && recorderWindow->FrameSource() == kFrameSourceViewer &&
        recorderWindow->RecordingThreadId() != 0 &&
        PostThreadMessageW(recorderWindow->RecordingThreadId(), PLM_RECORD_FRAME, frame, 0))
        return;
    DeleteGdiObject(reinterpret_cast<HGDIOBJ>(frame));
}

void CManager::OnResetCtrlMenu()
{
    OnInputWatch(0);  // the watch belongs to the bar
    DeleteAndClear(controlMenu);
    controlMenu = MakeControlMenu();
    SetRecorderFrameSource(role == 1 ? kFrameSourceOwnCapture : kFrameSourceViewer);
}

void CManager::StoreDefaultProfile()
{
    Appliance().StoreDefaultProfile(FormatServerAddress(applianceHost, appliancePort), ownDisplayName);
}

void CManager::OnShowActiveMeetings(WPARAM fromList)
{
    StoreDefaultProfile();
    Appliance().DestroyLogin();
    role = 0;
    title = 0;
    openedFromList = static_cast<int>(fromList);
    Appliance().CreateMeetingList(openedFromList);
    if (passwordExpired)
        Appliance().StartPasswordExpiryPrompt(0);
}

void CManager::OnShowMeetingSetup()
{
    StoreDefaultProfile();
    Appliance().DestroyMeetingList();
    role = 0;
    title = 1;
    Appliance().CreateMeetingSetup(false);
}

void CManager::ShowMeetingEntryFailure()
{
    static ResStringSlot text, caption;
    const wchar_t* message = LoadResString(text, IDS_MEETING_ENTRY_FAILED);
    DHLog::Instance().PrintW(0x80, 1, false, L"%s%s\n", MakeEventPrefix(0).c_str(), message);
    ShowTrayBalloon(LoadResString(caption, IDS_WARNING), message);
}

void CManager::OnEnterMeeting(bool host)
{
    // Join before re-entry: a meeting still open is ended first.
    if (m_meetingOpen)
        EndMeeting(MeetingEnd::Left);
    if (host)
        Appliance().DestroyMeetingSetup();
    else
        Appliance().DestroyMeetingList();
    m_meetingOpen = true;
    ++m_meetingSerial;
    m_handlers->BeginMeeting();

    bool open = Transport().StartLocalListener() && Transport().CreateLocalSockets(0) && Transport().OpenTunnel(0);
    if (open) {
        Sleep(tunnelSettleMs);
        if (Appliance().ReadParticipants())
            TakeOwnNameFromParticipants();
        open = Transport().SendHello(meetingId, role, ownDisplayName, ownSessionId) &&
               Transport().StartMeetingThreads();
    }
    if (!open) {
        // The list or setup window is gone already: say so and reopen the list.
        EndMeeting(MeetingEnd::Failure);
        ShowMeetingEntryFailure();
        Appliance().CreateMeetingList(openedFromList);
        return;
    }

    Appliance().CreateInvite();
    lobby = new CMeetingLobby(MakeLobbyContext(*this));
    if (lobby)
        lobby->Create();
    HWND lobbyWindow = lobby ? lobby->Window() : nullptr;
    if (!pollContext)
        pollContext = MakePollContext(*this);
    polling1 = new CPolling(pollContext.get(), lobbyWindow, 1);
    polling2 = new CPolling(pollContext.get(), lobbyWindow, 2);
    chat = new CChat(lobbyWindow, MakeChatContext(*this));
    if (chat) {
        chat->CreateDlg();
        chat->StartReceive();
    }
    if (!host) {
        if (canvas1)
            canvas1->SendControl(5, 0, 0, 0, 0);
        if (canvas2)
            canvas2->SendControl(5, 0, 0, 0, 0);
    }
    if (fileShare) {
        fileShare->StartRecvThread();
        fileShare->StartSendThread();
    }
    if (audioSpeaker)
        audioSpeaker->StartReceive();

    // The recording console only where the Windows Media library loaded.
    std::wstring media = tray ? tray->MediaFolder() : L"";
    if (media.empty())
        media = GetDefaultMediaFolder();
    if (recordingAvailable && !media.empty()) {
        recorderWindow = new CScreenRecoderWnd(this);
        if (recorderWindow) {
            recorderWindow->SetMediaFolder(media);
            recorderWindow->SetFrameSource(role == 1 ? kFrameSourceOwnCapture : kFrameSourceViewer);
            recorderWindow->Create();
        }
    }
}

void CManager::TakeOwnNameFromParticipants()
{
    // Before the meeting's threads start: nothing else reads the name yet.
    std::lock_guard<std::mutex> l(participantLock);
    for (const Participant& p : participants) {
        if (p.sessionID == ownSessionId && !p.name.empty()) {
            ownDisplayName = p.name;
            return;
        }
    }
}

void CManager::OnDeleteChat()
{
    // In a meeting the chat is in use by the meeting's threads (its own
    // receive thread, the control requests); it goes with the meeting.
    if (m_meetingOpen) {
        DHLog::Instance().Print(0x80, 2, false, "The chat is kept until the meeting ends.\n");
        return;
    }
    DeleteAndClear(chat);
}

void CManager::OnMeetingLeft(WPARAM, LPARAM serial)
{
    // A lost connection names its meeting: a late report about a meeting
    // already left must not end the next one.
    bool lost = serial != 0;
    if (lost && (!m_meetingOpen || static_cast<uint32_t>(serial) != m_meetingSerial))
        return;
    if (!lost && (!chat || !lobby))
        return;
    if (lost) {
        static ResStringSlot caption, text;
        const wchar_t* message = LoadResString(text, IDS_CONNECTION_LOST);
        DHLog::Instance().PrintW(0x80, 1, false, L"%s%s\n", MakeEventPrefix(0).c_str(), message);
        ShowTrayBalloon(LoadResString(caption, IDS_WARNING), message);
    } else if (sharingStep == 7) {
        static ResStringSlot caption, text, log;
        ShowTrayBalloon(LoadResString(caption, IDS_INFO), LoadResString(text, IDS_KICKED_OUT));
        std::wstring line = ReplaceFirstPlaceholder(LoadResString(log, IDS_LOG_KICKED_OUT), MakeEventPrefix(0));
        DHLog::Instance().PrintW(0x80, 3, false, L"%s\n", line.c_str());
    }
    // The viewer frame goes whatever the poster: a kick leaves no stale frame.
    EndMeeting(MeetingEnd::Left);
    Appliance().CreateMeetingList(0);
}

void CManager::OnInputWatch(WPARAM install)
{
    // Idempotent: the accept and the packet that follows may both ask.
    if (install && !m_inputWatch && controlMenu && controlMenu->Window()) {
        InstallLocalInputHooks(controlMenu->Window());
        m_inputWatch = true;
    } else if (!install && m_inputWatch) {
        RemoveLocalInputHooks();
        m_inputWatch = false;
    }
}

void CManager::OnShowAbout(HWND parent)
{
    HWND dlg = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), parent, AboutDlgProc, 0);
    if (!dlg)
        return;
    MakeOwnLayeredWindow(dlg);
    ShowWindow(dlg, SW_SHOW);
}

void CManager::OnTrayActivate(WPARAM wParam)
{
    if (wParam != 0 || !foregroundWindow)
        return;
    if (controlMenu && controlMenu->Window())
        PostMessageW(controlMenu->Window(), WM_CTRL_MENU_COMMAND, kCtrlMenuTrayActivate, 0);
    else
        SetForegroundWindow(foregroundWindow);
}

void CManager::OnTogglePolling()
{
    if (!polling1 || !polling1->Window() || (lobby && lobby->m_pollLocked) || pollActive)
        return;
    HWND panel = polling1->Window();
    if (IsWindowVisible(panel)) {
        ShowWindow(panel, SW_HIDE);
        DHLog::Instance().PrintW(0x80, 3, false, L"%sHide the polling panel.\n", MakeEventPrefix(0).c_str());
    } else {
        ShowWindow(panel, SW_SHOW);
        BringWindowToTop(panel);
        DHLog::Instance().PrintW(0x80, 3, false, L"%sShow the polling panel.\n", MakeEventPrefix(0).c_str());
    }
}

void CManager::OnReschedule()
{
    if (lobby && lobby->Window())
        ShowWindow(lobby->Window(), SW_HIDE);
    Appliance().CreateMeetingSetup(true);
}

void CManager::OnSetupDone(WPARAM wParam, LPARAM lParam)
{
    Appliance().DestroyMeetingSetup();
    if (lobby && lobby->Window()) {
        ShowWindow(lobby->Window(), SW_SHOW);
        PostMessageW(lobby->Window(), PLM_SETUP_DONE, wParam, lParam);
    }
}

void CManager::OnUpgradeClient(WPARAM required)
{
    if (Appliance().UpgradeClient(required == 1) == 1 && Appliance().LoginWindow())
        PostMessageW(Appliance().LoginWindow(), WM_COMMAND, IDOK, 0);
}

void CManager::OnToggleRecorder(WPARAM from)
{
    if (!recorderWindow || !recorderWindow->Window())
        return;
    HWND wnd = recorderWindow->Window();
    bool visible = IsWindowVisible(wnd) != FALSE;
    if (from == 4) {
        if (visible) {
            ShowWindow(wnd, SW_HIDE);
            if (recorderWindow->IsRecording())
                SendMessageW(wnd, WM_COMMAND, kRecorderStopCommand, 0);
        }
        return;
    }
    ShowWindow(wnd, visible ? SW_HIDE : SW_SHOW);
}

void CManager::OnSettingsChanged()
{
    if (recorderWindow && tray)
        recorderWindow->SetMediaFolder(tray->MediaFolder());
}

void CManager::SetRecorderFrameSource(int source)
{
    if (recorderWindow)
        recorderWindow->SetFrameSource(source);
}
