// The manager's construction, its destruction and the small state helpers.
#include "core/app/Manager.h"

#include "Customer/capture/MagnifierCapture.h"
#include "core/base/LoadResString.h"
#include "core/app/MeetingHandlers_win.h"
#include "core/app/Startup.h"
#include "core/app/Tray.h"
#include "core/base/VisualEffects.h"
#include "core/base/WindowUtil.h"
#include "core/app/res/resource.h"
#include "extras/AudioSpeaker.h"
#include "extras/VoiceContext.h"
#include "core/app/ManagerVoice_win.h"
#include "extras/CPolling.h"
#include "extras/PollContext.h"
#include "extras/CScreenRecoderWnd.h"
#include "extras/FileShare.h"
#include "core/app/ManagerFileShare_win.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/CCtrlMenu.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/PartiMark.h"

#include <objidl.h>
#include <gdiplus.h>

AccelKeys::AccelKeys()
{
    // An empty table: nothing is translated until a window sets a target.
    ACCEL none{};
    table = CreateAcceleratorTableA(&none, 0);
}

AccelKeys::~AccelKeys()
{
    if (table)
        DestroyAcceleratorTable(table);
}

CManager::CManager(HINSTANCE inst, ManagerServices services)
    : instance(inst), m_services(std::move(services))
{
    Init();
}

CManager::CManager(HINSTANCE inst, ManagerServices (*makeServices)(CManager&)) : instance(inst)
{
    m_services = makeServices(*this);
    Init();
}

void CManager::Init()
{
    m_handlers = std::make_unique<MeetingHandlers>(*this);
    canvas1 = new CCanvas(kCanvasAnnotation);
    canvas2 = new CCanvas(kCanvasWhiteboard);
    if (canvas1)
        canvasMessager1 = new CCanvasMessager(canvas1, this);
    if (canvas2)
        canvasMessager2 = new CCanvasMessager(canvas2, this);
    partiMark = new PartiMark(this);
    fileShare = new FileShare(MakeFileShareContext(*this));
    audioEvent.Reset(CreateEventA(nullptr, FALSE, FALSE, "evtForAudio"));
    voiceContext = MakeVoiceContext(*this);
    audioSpeaker = new AudioSpeaker(this, voiceContext.get());

    MagnifierCapture::g_enabled = IsWin8OrLaterNoComFeature();
    MagnifierCapture::g_captureStep = 20;

    Gdiplus::GdiplusStartupInput gdiplus;
    if (Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplus, nullptr) != Gdiplus::Ok)
        gdiplusToken = 0;

    SaveVisualEffects();
    RestoreVisualEffects(0, 1, kEffectsColumnApply);
}

CManager::~CManager()
{
    // Threads first: nothing below may still be in use by one.
    EndMeeting(MeetingEnd::Exit);

    if (gdiplusToken)
        Gdiplus::GdiplusShutdown(gdiplusToken);
    RestoreVisualEffects(0, 0, kEffectsColumnSaved);

    localPortSemaphore.Reset();
    serverCreatedEvent.Reset();
    serverCreatedEvent2.Reset();

    if (compositionOff)
        SetDwmComposition(true);

    Appliance().DestroyMeetingSetup();
    Appliance().DestroyMeetingList();
    Appliance().DestroyLogin();

    DeleteAndClear(canvasMessager1);
    DeleteAndClear(canvasMessager2);
    DeleteAndClear(canvas1);
    DeleteAndClear(canvas2);
    DeleteAndClear(fileShare);
    DeleteAndClear(audioSpeaker);
    DeleteAndClear(partiMark);
    audioEvent.Reset();
    DeleteAndClear(tray);

    if (wmasfModule)
        FreeLibrary(wmasfModule);
    if (wmvcoreModule)
        FreeLibrary(wmvcoreModule);
    if (richEditModule)
        FreeLibrary(richEditModule);
    password.Clear();
}

void CManager::ClearLoginState()
{
    applianceAddress.clear();
    addressResolved = 0;
    ownDisplayName.clear();
    password.Clear();
    loginFields.first.clear();
    loginFields.second.clear();
    loginFields.step = 1;
    portalName.clear();
    launchMode = 0;
    proxyFromBrowser = 0;
    loginFresh = 1;
    meetingJoinPending = 0;
}

std::wstring CManager::MakeEventPrefix(int noRole) const
{
    std::wstring roleText;
    if (!noRole) {
        static ResStringSlot host, participant, coordinator, assist;
        roleText = role == 1 ? LoadResString(host, IDS_ROLE_HOST)
                             : LoadResString(participant, IDS_ROLE_PARTICIPANT);
        if (title == 1)
            roleText += LoadResString(coordinator, IDS_ROLE_COORDINATOR);
        else if (title == 2)
            roleText += LoadResString(assist, IDS_ROLE_ASSIST);
    }
    std::wstring name;
    {
        std::lock_guard<std::mutex> l(m_nameLock);
        name = ownDisplayName;
    }
    std::wstring prefix = roleText + L"\t" + name + L"\t";
    constexpr size_t kMaxPrefix = 160;
    if (prefix.size() > kMaxPrefix) {
        // Cut the name, keep the closing tab so columns stay aligned.
        prefix.resize(kMaxPrefix - 1);
        prefix += L"\t";
    }
    return prefix;
}

bool CManager::ShowTrayBalloon(const wchar_t* titleText, const wchar_t* text)
{
    return tray != nullptr && tray->ShowBalloon(titleText, text);
}

bool CManager::InMeeting() const
{
    return m_meetingOpen;
}
