#include "extras/CScreenRecoderWnd.h"

#include "core/base/AppWindows.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/MediaFileName.h"
#include "core/base/MediaFiles.h"
#include "core/base/WinHandle.h"
#include "core/base/WindowUtil.h"
#include "extras/CWmScreenRecorder.h"
#include "extras/RecorderResources.h"
#include "extras/RecordingTimeline.h"

#include <commctrl.h>

#include <cwchar>
#include <vector>

namespace {

constexpr uint8_t kLogRecording = 0x80;
constexpr wchar_t kClassName[] = L"RecorderWnd";
constexpr int kButtonSide = 26;
constexpr int kClockWidth = 80;
constexpr unsigned kMaxNameChoices = 100;

HINSTANCE Instance()
{
    return GetModuleHandleW(nullptr);
}

bool RegisterConsoleClass(WNDPROC proc)
{
    WNDCLASSEXW c{};
    c.cbSize = sizeof(c);
    if (GetClassInfoExW(Instance(), kClassName, &c))
        return true;
    c.cbSize = sizeof(c);
    c.style = CS_HREDRAW | CS_VREDRAW;
    c.lpfnWndProc = proc;
    c.hInstance = Instance();
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    c.lpszClassName = kClassName;
    return RegisterClassExW(&c) != 0;
}

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

} // namespace

CScreenRecoderWnd::CScreenRecoderWnd(MeetingContext* meeting)
    : m_meeting(meeting), m_fps(kRecordingFramesPerSecond)
{
}

CScreenRecoderWnd::~CScreenRecoderWnd()
{
    StopCaptureThread();
    if (m_hWnd && IsWindow(m_hWnd)) {
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
}

bool CScreenRecoderWnd::Create()
{
    if (m_hWnd)
        return true;
    if (!RegisterConsoleClass(WndProc))
        return false;
    static ResStringSlot title;
    RECT work{};
    GetWorkArea(&work);
    const int width = 300, height = 90;
    m_hWnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOPMOST, kClassName, LoadResString(title, IDS_RECORDER_TITLE),
                             WS_POPUP | WS_CAPTION | WS_SYSMENU, work.right - width - 20, work.top + 20, width,
                             height, nullptr, nullptr, Instance(), this);
    if (!m_hWnd) {
        DHLog::Instance().Print(kLogRecording, 1, false, "The recorder console could not be made (%lu).\n",
                                GetLastError());
        return false;
    }
    SetLayeredWindowAttributes(m_hWnd, 0, 255, LWA_ALPHA);
    RegisterAppWindow(m_hWnd);
    CreateControls();
    return true;
}

void CScreenRecoderWnd::CreateControls()
{
    m_toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"toolbar recording console",
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NODIVIDER |
                                    CCS_NORESIZE | CCS_NOPARENTALIGN,
                                4, 8, 200, kButtonSide + 6, m_hWnd, nullptr, Instance(), nullptr);
    if (m_toolbar) {
        static ResStringSlot record, pause, stop;
        SendMessageW(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        SendMessageW(m_toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
        TBBUTTON buttons[3]{};
        const std::pair<WPARAM, const wchar_t*> items[] = {
            {kRecorderRecordCommand, LoadResString(record, IDS_RECORDER_RECORD)},
            {kRecorderPauseCommand, LoadResString(pause, IDS_RECORDER_PAUSE)},
            {kRecorderStopCommand, LoadResString(stop, IDS_RECORDER_STOP)},
        };
        for (int i = 0; i < 3; ++i) {
            buttons[i].iBitmap = I_IMAGENONE;
            buttons[i].idCommand = static_cast<int>(items[i].first);
            buttons[i].fsState = TBSTATE_ENABLED;
            buttons[i].fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
            buttons[i].iString = reinterpret_cast<INT_PTR>(items[i].second);
        }
        SendMessageW(m_toolbar, TB_ADDBUTTONSW, 3, reinterpret_cast<LPARAM>(buttons));
        // After the texts: a size set before them is recomputed from them.
        SendMessageW(m_toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(kButtonSide, kButtonSide));
        SendMessageW(m_toolbar, TB_AUTOSIZE, 0, 0);
    }
    m_clock = CreateWindowExW(0, L"STATIC", L"00:00:00", WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, 206, 8,
                              kClockWidth, kButtonSide + 6, m_hWnd, nullptr, Instance(), nullptr);
    SendMessageW(m_clock, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

LRESULT CALLBACK CScreenRecoderWnd::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<CScreenRecoderWnd*>(create->lpCreateParams);
        self->m_hWnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CScreenRecoderWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT CScreenRecoderWnd::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: OnButton(LOWORD(wParam)); return 0;
    case WM_TIMER:
        if (wParam == kRecorderClockTimer && m_console.OnTick())
            ShowClock();
        return 0;
    case WM_RECORDING_STARTED:
        if (static_cast<uint32_t>(wParam) == m_console.Sequence() && m_run)
            m_recordThreadId = static_cast<DWORD>(lParam);
        return 0;
    case WM_RECORDING_ENDED: OnThreadEnded(static_cast<int>(wParam), static_cast<uint32_t>(lParam)); return 0;
    case WM_CLOSE: ShowWindow(m_hWnd, SW_HIDE); return 0;  // 60129 shows it again
    default: return DefWindowProcW(m_hWnd, message, wParam, lParam);
    }
}

void CScreenRecoderWnd::OnButton(WPARAM id)
{
    ConsoleAction action = ConsoleAction::None;
    switch (id) {
    case kRecorderRecordCommand: action = m_console.OnRecord(); break;
    case kRecorderPauseCommand: action = m_console.OnPauseResume(); break;
    case kRecorderStopCommand: action = m_console.OnStop(); break;
    default: return;
    }
    switch (action) {
    case ConsoleAction::StartRecording:
        if (!StartRecording())
            m_console.OnStartFailed();
        ShowClock();
        break;
    case ConsoleAction::PauseRecording:
    case ConsoleAction::ResumeRecording: {
        const bool paused = action == ConsoleAction::PauseRecording;
        if (m_run && m_run->Recorder())
            m_run->Recorder()->SetPaused(paused);
        DHLog::Instance().Print(kLogRecording, 3, false, paused ? "Recording Paused\n" : "Recording Resumed\n");
        SetPauseText(paused);
        break;
    }
    case ConsoleAction::StopRecording:
        EndRecording();
        break;
    case ConsoleAction::None:
    case ConsoleAction::ReportFailure: break;
    }
}

std::wstring CScreenRecoderWnd::ReserveFile(DWORD& error)
{
    // The name is taken by making the file: a second recording in the same
    // second gets the next number and never overwrites the first.
    const std::wstring base = MakeRecordingFileName(L"");
    const std::string name(base.begin(), base.end());  // ASCII
    std::wstring folder = m_mediaFolder;
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    error = ERROR_FILE_EXISTS;
    for (unsigned n = 0; n < kMaxNameChoices; ++n) {
        const std::wstring path = folder + Widen(NumberedFileName(name, n));
        WinHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (file)
            return path;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    return L"";
}

void CScreenRecoderWnd::DropEmptyFile()
{
    // A recording that wrote nothing leaves no empty file behind.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!m_lastFile.empty() && GetFileAttributesExW(m_lastFile.c_str(), GetFileExInfoStandard, &data) &&
        data.nFileSizeHigh == 0 && data.nFileSizeLow == 0)
        DeleteFileW(m_lastFile.c_str());
}

void CScreenRecoderWnd::SetWriterBinding(WmWriterBinding binding)
{
    m_binding = std::move(binding);
    m_bindingSet = true;
}

bool CScreenRecoderWnd::StartRecording()
{
    DWORD error = 0;
    m_lastFile = ReserveFile(error);
    if (m_lastFile.empty()) {
        static ResStringSlot noFile;
        std::vector<wchar_t> text(1024);
        std::swprintf(text.data(), text.size(), LoadResString(noFile, IDS_RECORDER_NO_FILE),
                      static_cast<unsigned long>(error));
        DHLog::Instance().Print(kLogRecording, 1, false, "No recording file in the media folder (%lu).\n", error);
        ShowFailure(text.data());
        return false;
    }
    if (!m_bindingSet)
        SetWriterBinding(LoadSystemWmWriter());
    m_recorder.reset(new CWmScreenRecorder(m_binding, m_hWnd));
    m_recorder->SetFramesPerSecond(m_fps);
    m_recorder->SetExternalFrames(m_frameSource == kFrameSourceViewer);
    m_recorder->SetRecordedWindow(m_recordedWindow);
    m_recorder->SetOutputFile(m_lastFile);
    m_run = std::make_unique<RecordingRun>();
    if (!m_run->Start(m_recorder, m_console.Sequence())) {
        DHLog::Instance().Print(kLogRecording, 1, false, "The recording thread could not be started.\n");
        m_run.reset();
        DropEmptyFile();
        return false;
    }
    m_recording = 1;
    SetTimer(m_hWnd, kRecorderClockTimer, 1000, nullptr);
    return true;
}

void CScreenRecoderWnd::EndRecording()
{
    KillTimer(m_hWnd, kRecorderClockTimer);
    m_recordThreadId = 0;  // no more frames are forwarded
    if (m_run)
        m_run->Stop(RecordingRun::kStopLimitMs);
    m_run.reset();
    m_recording = 0;
    DropEmptyFile();
    SetPauseText(false);
    ShowClock();
}

void CScreenRecoderWnd::OnThreadEnded(int result, uint32_t sequence)
{
    const bool current = sequence == m_console.Sequence();
    if (result != kRecordingStopped)
        DHLog::Instance().Print(kLogRecording, 1, false, "Recording thread quit abnormally.\n");
    const ConsoleAction action = m_console.OnThreadEnded(sequence, result);
    if (!current)
        return;
    if (m_run)
        EndRecording();
    if (action != ConsoleAction::ReportFailure || !m_recorder)
        return;
    static ResStringSlot failed;
    const std::wstring step = Widen(m_recorder->ErrorText());
    DHLog::Instance().Print(kLogRecording, 1, false, "%s\n", m_recorder->ErrorText().c_str());
    std::vector<wchar_t> text(1024);
    std::swprintf(text.data(), text.size(), LoadResString(failed, IDS_RECORDER_FAILED), step.c_str(),
                  static_cast<unsigned long>(m_recorder->ErrorCode()));
    ShowFailure(text.data());
}

void CScreenRecoderWnd::ShowFailure(const std::wstring& text)
{
    static ResStringSlot title;
    MessageBoxW(m_hWnd, text.c_str(), LoadResString(title, IDS_RECORDER_TITLE), MB_OK | MB_ICONERROR);
}

void CScreenRecoderWnd::ShowClock()
{
    if (!m_clock)
        return;
    const std::string text = FormatRecordingClock(m_console.Seconds());
    SetWindowTextW(m_clock, Widen(text).c_str());
}

void CScreenRecoderWnd::SetPauseText(bool paused)
{
    if (!m_toolbar)
        return;
    static ResStringSlot pause, resume;
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_TEXT;
    info.pszText = const_cast<wchar_t*>(
        paused ? LoadResString(resume, IDS_RECORDER_RESUME) : LoadResString(pause, IDS_RECORDER_PAUSE));
    SendMessageW(m_toolbar, TB_SETBUTTONINFOW, kRecorderPauseCommand, reinterpret_cast<LPARAM>(&info));
}

void CScreenRecoderWnd::StopCaptureThread()
{
    if (m_console.Busy())
        OnButton(kRecorderStopCommand);
    else if (m_run)
        EndRecording();
}

void CScreenRecoderWnd::SetFrameSource(int source)
{
    if (source != m_frameSource)
        StopCaptureThread();
    m_frameSource = source;
}
