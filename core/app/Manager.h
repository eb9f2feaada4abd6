#pragma once
// The one application object: WinMain creates it, runs it and deletes it. It
// owns every long-lived object, holds the state the other parts read, runs
// the main thread's message loop and dispatches its thread messages. Windows
// and workers reach it only by posting thread messages to mainThreadId.
#include "appliance/cgi/Participant.h"
#include "appliance/cgi/ProxyConfig.h"
#include "core/control/ControlPacket.h"
#include "core/base/MeetingContext.h"
#include "core/control/ControlStateBits.h"
#include "core/app/ManagerServices.h"
#include "core/base/ThreadMessages.h"
#include "core/base/s_mem.h"
#include "core/base/BoundedThread.h"
#include "core/base/WinHandle.h"
#include "meeting/LobbyCommandContext.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class CTray;
class CMeetingLobby;
class CChat;
class CCtrlMenu;
class CPolling;
class CScreenRecoderWnd;
class CCanvas;
class CCanvasMessager;
class PartiMark;
class FileShare;
class AudioSpeaker;
class VoiceContext;
class TechnicianGUI;
class vncServer;
class MeetingHandlers;
class ControlPacketHandler;
class PollContext;

// To delete here: when set, delete by the virtual destructor and clear.
template <typename T>
inline void DeleteAndClear(T*& p)
{
    delete p;
    p = nullptr;
}

// {target window, accelerator table}; starts with an empty table and no target.
class AccelKeys {
public:
    AccelKeys();
    virtual ~AccelKeys();
    AccelKeys(const AccelKeys&) = delete;
    AccelKeys& operator=(const AccelKeys&) = delete;

    HWND target = nullptr;
    HACCEL table = nullptr;
};

// How a meeting ends; every way runs the same ordered teardown.
enum class MeetingEnd {
    Exit,     // the program closes (60101, 60105, destructor)
    Logout,   // back to the login window (60104)
    Left,     // back to the meeting list (60113)
    Failure,  // a meeting or viewer could not start
};

struct LoginFields {
    std::string first;
    std::string second;
    int step = 1;
};

class CManager : public MeetingContext, public LobbyCommandContext {
public:
    CManager(HINSTANCE instance, ManagerServices services);
    // Services that need the manager they serve (the program's own).
    CManager(HINSTANCE instance, ManagerServices (*makeServices)(CManager&));
    ~CManager();
    CManager(const CManager&) = delete;
    CManager& operator=(const CManager&) = delete;

    // The run sequence and the message loop; returns when the loop ends or
    // start-up fails.
    void Run();
    // The per-user installation (first start, or an older version
    // registered) and the language chosen for this run; called by Run.
    void SelfInstall();
    // The first window (or meeting) for launchMode once the launch fields,
    // the session and the proxy are set; false when the run ends here.
    bool OpenFirstWindow();
    // The loop alone: returns the message that ended it (60101 or 60105), or
    // 0 when WM_QUIT came.
    UINT RunMessageLoop();
    // 1 to go on, 0 to end the loop (60101 and 60105 only).
    int OnThreadMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Login fields back to their state before a login attempt.
    void ClearLoginState();
    // "%s\t%s\t" of the role text and the display name, at most 160
    // characters; a new string for every caller.
    std::wstring MakeEventPrefix(int noRole) const;
    // Main thread: a new own display name during a meeting. The receive
    // threads read it (log prefixes) under the same lock.
    void SetOwnDisplayName(const std::wstring& name);
    // A balloon on the tray icon when the tray exists.
    bool ShowTrayBalloon(const wchar_t* title, const wchar_t* text);

    // Ends the meeting in progress (if any) and deletes what it used, in one
    // order: stop the relay and close the tunnels and channels (so every
    // meeting thread's blocking call ends), join the pump and the sharing
    // endpoints, join the relay and receive threads (each join bounded),
    // stop the features' threads, then delete the objects and reset state.
    void EndMeeting(MeetingEnd how);
    bool InMeeting() const;
    // Counts meetings entered; a message about a meeting that has ended
    // since carries an older number and is ignored.
    uint32_t MeetingSerial() const { return m_meetingSerial.load(); }
    // From a meeting's network side when the control tunnel ended by itself:
    // the meeting is left with an error on the main thread.
    void PostConnectionLost(uint32_t serial, const std::string& why);

    // Meeting packets on the control channel, each whole under the send
    // lock; false when it could not be sent (or the type builds nothing).
    bool SendControlMessage(uint8_t type, const std::string& name, const std::string& other, uint32_t value3,
                            uint32_t value1, uint32_t value2) override;
    bool SendTextMessage(uint8_t type, std::string_view text) override;
    bool SendCanvasMessage(std::string_view text) override;
    bool SendPartiMarkMessage(std::string_view text) override;
    bool SendAudioMessage(uint8_t piece, const uint8_t* data, size_t length) override;

    // Control and host requests (received packets come from the control
    // receive thread; the accepts from the lobby).
    void OnControlRequest(uint8_t type, const std::string& first, const std::string& second);
    void OnHostRequest(uint8_t type, const std::string& first, const std::string& second);
    void OnHostInvitation(uint8_t type, const std::string& first, const std::string& second);
    bool AcceptControlRequest(const std::string& session) override;
    int AcceptHostRequest(const std::string& session) override;
    void SyncRequestLists();
    // The control receive thread: a whole poll text another client opened.
    void OnPollOpened(const std::string& text);
    // Main thread, after each participant-list refresh: the open poll's
    // asked participants follow the list.
    void SyncPollParticipants();
    std::vector<std::string> ControlRequests() const;
    std::vector<std::string> HostRequests() const;
    bool ControlHeld() const override;
    // The participant that holds control of the shared screen, or none.
    std::string ControlHolder() const;
    bool RemoteControlActive() const override;
    std::uintptr_t FeatureChannelEnd(FeatureChannel channel) override;
    void SignalViewerStarted() override;
    void EndSharingView() override;
    bool RecordingViewerFrames() const override;
    // None until the annotation canvas draws one.
    std::shared_ptr<const AnnotationLayer> GetAnnotationLayer() override;
    void RepaintSharingView() override;
    void PlaceOwnMark(int x, int y) override;
    // Display name of a participant (UTF-8), empty when not in the list.
    std::string GetParticipantName(const std::string& session) override;
    // What the receive threads hand each packet to.
    ControlPacketHandler& PacketHandler();

    // The control bar for the user's role (ManagerCtrlMenu_win.cpp), and the
    // removal of its local-input watch.
    CCtrlMenu* MakeControlMenu();
    void RemoveInputWatch();

    // What the lobby's commands use (LobbyRequests_win.cpp).
    LobbyView LobbyCommandView() override;
    bool FindParticipant(const std::string& session, LobbyTarget& out) override;
    bool SendLobbyPacket(const ControlPacket& packet) override;
    void LogLobbyEvent(const std::wstring& text) override;
    void PostToProgram(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    bool RequestControl(const std::string& hostSession) override;
    bool ReleaseOwnControl(const std::string& hostSession) override;
    bool RefuseControlRequest(const std::string& session) override;
    bool RequestHost(const std::string& coordinator) override;
    bool RefuseHostRequest(const std::string& session) override;
    bool AskHost(const std::string& session) override;
    std::vector<std::string> PendingControlRequests() override;
    std::vector<std::string> PendingHostRequests() override;
    std::string ControlHolderSession() override;
    void StartSharingRequest(const std::string& session) override;
    void StartReadyWait() override;
    void CloseSharingExtras() override;
    void HideChat() override;
    void StartWhiteboard() override;
    void ShowFileShare() override;
    void StartVoice() override;
    void WithdrawShares() override;
    std::vector<std::wstring> RescheduleTexts() override;
    // The own host request waits for the coordinator's answer.
    bool HostRequestPending() const;
    // The old and new date and time of the last reschedule, left by the
    // meeting setup for the lobby's box (main thread).
    std::vector<std::wstring> rescheduleTexts;

    MeetingTransport& Transport() { return *m_services.transport; }
    ApplianceServices& Appliance() { return *m_services.appliance; }

    // --- fields other parts read and write (see the field table) ---
    // Who may touch each group, and under which lock, is said above it.

    // Main thread only (set once at start-up or by the windows it runs).
    HINSTANCE instance;
    DWORD mainThreadId = 0;
    CMeetingLobby* lobby = nullptr;
    CChat* chat = nullptr;
    CCtrlMenu* controlMenu = nullptr;
    CTray* tray = nullptr;
    CPolling* polling1 = nullptr;
    CPolling* polling2 = nullptr;
    std::unique_ptr<PollContext> pollContext;
    HWND foregroundWindow = nullptr;
    int msiInstall = 0;
    ULONG_PTR gdiplusToken = 0;
    int passwordExpired = 0;
    int passwordPromptOrigin = 0;  // 1: the expiry prompt came from the login window
    int recordingAvailable = 0;
    CScreenRecoderWnd* recorderWindow = nullptr;
    AccelKeys accelerators;
    HMODULE richEditModule = nullptr;
    HMODULE wmvcoreModule = nullptr;
    HMODULE wmasfModule = nullptr;

    // Main thread only: login, appliance and launch fields.
    std::string applianceHost;
    std::string applianceAddress;
    int addressResolved = 0;
    uint16_t appliancePort = 443;
    std::wstring ownDisplayName;
    s_mem password;
    LoginFields loginFields;
    std::string ownSessionId;
    std::string portalName;  // the launch field
    std::string meetingId;
    std::string meetingName;  // UTF-8, of the meeting entered
    std::string waitMessage;  // UTF-8, shown while the meeting waits to start
    // From the participant list: the appliance's expiry value and the
    // meeting's end as the appliance writes them.
    int meetingExpires = 0;
    std::string meetingEndDate;
    std::string meetingEndTime;
    // What the meeting setup window last scheduled: the code (StoredSecret)
    // and the start and end as typed, which the lobby shows after a
    // reschedule.
    s_mem meetingCode;
    std::string scheduleStartDate;
    std::string scheduleStartTime;
    std::string scheduleEndDate;
    std::string scheduleEndTime;
    int launchMode = 0;
    int proxyFromBrowser = 0;
    ProxyConfig proxy;
    int loginFresh = 1;
    int meetingJoinPending = 0;

    // Written by the main thread; read by any thread without a lock (atomics).
    std::atomic<int> role{0};   // 1 host, 0 participant
    std::atomic<int> title{0};  // 0 none, 1 coordinator, 2 assistant
    std::atomic<int> sharingStep{1};
    std::atomic<int> prevSharingStep{1};
    std::atomic<int> meetingState{1};
    std::atomic<int> serverSharingState{0};
    // Set by the polls and the voice while they run; read by the lobby.
    std::atomic<int> pollActive{0};
    // Set while the poll this client opened runs: its own echoes are not
    // shown or obeyed.
    std::atomic<int> pollOwner{0};
    std::atomic<int> voiceActive{0};
    // Set while the host's file sharing has downloads running.
    std::atomic<int> hostHasTransfers{0};
    // 1 after the own host request, until the host role comes.
    std::atomic<int> hostRequestPending{0};
    // Main thread only.
    int lobbyFlags[4] = {};
    int openedFromList = 0;
    ControlStateBits stateBits;
    // Any thread, only under participantLock: replaced by the participant-list
    // request and read only under the lock.
    std::vector<Participant> participants;
    std::mutex participantLock;
    // The sharing host's capture thread only, while it shares (no lock):
    // visible, non-layered top-level windows, bottom of the Z order first;
    // emptied and refilled through CollectVisibleWindowProc.
    std::vector<HWND> visibleWindows;

    // Made and closed by the main thread; signalled by name from the sharing
    // endpoints' threads (the kernel serialises them).
    WinHandle localPortSemaphore;
    WinHandle serverCreatedEvent;
    WinHandle serverCreatedEvent2;
    // Main thread creates and deletes; the pump uses the server it was given
    // at its start and is joined before the server goes.
    TechnicianGUI* viewerFrame = nullptr;
    vncServer* vncServerObj = nullptr;
    // Main thread writes, the pump reads (atomic).
    std::atomic<int> pumpEnabled{0};

    // Main thread only.
    std::string logPath;
    std::string tempCopyName;
    // The installed program: application data + "\Quenlore\Parlemo\Corvisk.exe".
    std::string installedProgram;
    // Set by the upgrade that started the new client: the exit code of this run.
    int exitCode = 0;

    // Main thread creates and deletes; the receive threads reach them only
    // through the meeting handlers and are joined before they are deleted.
    CCanvas* canvas1 = nullptr;
    CCanvas* canvas2 = nullptr;
    CCanvasMessager* canvasMessager1 = nullptr;
    CCanvasMessager* canvasMessager2 = nullptr;
    PartiMark* partiMark = nullptr;
    int partiMarkEnabled = 1;
    FileShare* fileShare = nullptr;
    WinHandle audioEvent;
    AudioSpeaker* audioSpeaker = nullptr;
    // The voice's view of this manager; made before the voice.
    std::unique_ptr<VoiceContext> voiceContext;
    // Set by the voice's receive thread while it reads the audio channel;
    // the relay waits for it before the first voice bytes.
    std::atomic<int> audioReady{0};
    int audioTransType = 0;
    int compositionOff = 0;

    // Constants and test knobs, main thread only: bounds of the main
    // thread's waits on other threads.
    static constexpr DWORD kPumpJoinMs = 2000;
    DWORD serverCreatedWaitMs = 10000;
    static constexpr DWORD kViewerReadyWaitMs = 5000;
    // Pause after opening a tunnel before the first request goes through it.
    DWORD tunnelSettleMs = 500;

private:
    void Init();
    void InstallProgram();
    void CreateLoopbackSync();
    int TestWithProxyAuth(int (ApplianceServices::*test)());
    void OpenLoginWindow();
    void ReportJoinFailure(int code);

    // Dispatcher handlers.
    void OnRecordFrame(WPARAM frame);
    void OnResetCtrlMenu();
    void OnShowActiveMeetings(WPARAM fromList);
    void OnShowMeetingSetup();
    void OnEnterMeeting(bool host);
    void TakeOwnNameFromParticipants();
    void OnDeleteChat();
    void OnOpenSharingView();
    void OnCreateVncServer();
    void OnCreateViewer();
    void OnStartMagCapture();
    void OnMeetingLeft(WPARAM how, LPARAM serial);
    void OnInputWatch(WPARAM install);
    void OnSharingResume();
    void OnStopSharing();
    void OnShowAbout(HWND parent);
    void OnShowChat();
    void OnDockPanel(WPARAM dock, LPARAM lParam);
    void OnTrayActivate(WPARAM wParam);
    void OnTogglePolling();
    void OnReschedule();
    void OnSetupDone(WPARAM wParam, LPARAM lParam);
    void OnUpgradeClient(WPARAM required);
    void OnToggleRecorder(WPARAM from);
    void OnSettingsChanged();

    // Sharing steps and their packet. The steps past opening the view need
    // the meeting and its sharing tunnel.
    bool SharingViewOpen();
    void StepTo(int step);
    void SendSharingState();
    void SetRecorderFrameSource(int source);
    void StoreDefaultProfile();
    void ShowMeetingEntryFailure();

    // Sharing endpoints and the update pump.
    void CreateVncServer();
    bool WaitVncServerCreated();
    void StartViewerGui(HWND parent);
    int CreateViewer();
    void StartPump();
    // False when the pump was left behind (logged).
    bool JoinPump();
    // Stops the pump and deletes the host's server and the viewer frame,
    // each joined after the sharing channel is shut down and before it is
    // closed.
    void EndSharingEndpoints();
    void DeleteViewerFrame();
    void DeleteMeetingObjects();

    ManagerServices m_services;
    std::unique_ptr<MeetingHandlers> m_handlers;
    std::atomic<uint32_t> m_meetingSerial{0};
    bool m_inputWatch = false;
    BoundedThread m_pumpThread;
    std::atomic<bool> m_pumpStop{false};
    bool m_meetingOpen = false;
    // Guards ownDisplayName while a meeting's threads may read it.
    mutable std::mutex m_nameLock;
};
