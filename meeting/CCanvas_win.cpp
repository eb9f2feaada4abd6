// The canvas's thread, windows, drawing and received messages.
#include "meeting/CCanvas.h"

#include "core/base/AppWindows.h"
#include "core/base/DHLog.h"
#include "core/base/GdiplusSession_win.h"
#include "core/base/LoadResString.h"
#include "core/base/MeetingContext.h"
#include "meeting/CanvasMessageKind.h"
#include "meeting/CanvasResources.h"
#include "meeting/CanvasRules.h"

#include <commctrl.h>

#include <algorithm>
#include <objidl.h>
#include <gdiplus.h>

namespace {

constexpr wchar_t kDrawingClass[] = L"Corvisk_Canvas";
constexpr wchar_t kFrameClass[] = L"Corvisk_Canvas_Frame";
// Posted to the drawing window: received messages wait in the inbox.
constexpr UINT kWakeMessage = WM_APP + 40;
// Posted to the drawing window when the text entry lost the focus.
constexpr UINT kCommitTextMessage = WM_APP + 41;
// Timers of the text entry: the text message 100 ms after its settings.
constexpr UINT_PTR kTextTimer = 1;
constexpr UINT kTextDelayMs = 100;
// The longest wait for a canvas thread to make its windows.
constexpr DWORD kReadyWaitMs = 10000;
// A point from the network is held within this far off the canvas.
constexpr int kPointLimit = 100000;
// The program's icon, on the whiteboard's frame.
constexpr int kProgramIcon = 137;
// The viewer whiteboard's first frame height, before the owner's arrives.
constexpr int kViewerFirstHeight = kWhiteboardFrameHeight;

CCanvas* CanvasOf(HWND hwnd)
{
    return reinterpret_cast<CCanvas*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK DrawingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    CCanvas* canvas = CanvasOf(hwnd);
    if (!canvas)
        return DefWindowProcW(hwnd, msg, wp, lp);
    if (hwnd == canvas->CatcherWindow())
        return canvas->OnCatcherMessage(hwnd, msg, wp, lp);
    return canvas->OnDrawingMessage(hwnd, msg, wp, lp);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    CCanvas* canvas = CanvasOf(hwnd);
    return canvas ? canvas->OnFrameMessage(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpfnWndProc = DrawingProc;
        wc.lpszClassName = kDrawingClass;
        RegisterClassExW(&wc);
        wc.lpfnWndProc = FrameProc;
        wc.lpszClassName = kFrameClass;
        RegisterClassExW(&wc);
    });
}

DWORD WINAPI CanvasThreadMain(void* param)
{
    static_cast<CCanvas*>(param)->RunThread();
    return 0;
}

int HoldPoint(int v)
{
    return std::clamp(v, -kPointLimit, kPointLimit);
}

} // namespace

CCanvas::CCanvas(int surface) : m_surface(surface)
{
    for (int t = 0; t < kToolCount; ++t)
        m_tools[t].SetType(t);
    m_tool = m_tools[kToolSelect];
    RegisterClasses();
}

CCanvas::~CCanvas()
{
    Shutdown();
}

void CCanvas::Shutdown()
{
    Close();
    if (m_thread)
        WaitForSingleObject(m_thread.get(), kReadyWaitMs);
}

bool CCanvas::ThreadRunning() const
{
    return m_thread && WaitForSingleObject(m_thread.get(), 0) == WAIT_TIMEOUT;
}

int CCanvas::StartAnnotationThread(int kind)
{
    if (m_surface != kCanvasAnnotation || (kind != kCanvasAnnotationOwner && kind != kCanvasAnnotationViewer))
        return 0;
    if (kind == kCanvasAnnotationOwner) {
        m_canvasWidth = GetSystemMetrics(SM_CXSCREEN);
        m_canvasHeight = GetSystemMetrics(SM_CYSCREEN);
    }
    return StartThread(kind);
}

int CCanvas::StartWhiteboardThread(int kind)
{
    if (m_surface != kCanvasWhiteboard || (kind != kCanvasWhiteboardOwner && kind != kCanvasWhiteboardViewer))
        return 0;
    {
        std::lock_guard<std::mutex> l(m_startLock);
        if (ThreadRunning()) {
            HWND frame = m_frame;
            if (kind == kCanvasWhiteboardOwner && m_kind == kCanvasWhiteboardOwner && frame) {
                ShowWindow(frame, SW_SHOWNORMAL);
                SetForegroundWindow(frame);
            }
            return 1;
        }
    }
    if (kind == kCanvasWhiteboardOwner)
        m_canvasWidth = kWhiteboardCanvasWidth;
    m_canvasHeight = kWhiteboardCanvasHeight;
    return StartThread(kind);
}

int CCanvas::StartThread(int kind)
{
    std::lock_guard<std::mutex> l(m_startLock);
    if (ThreadRunning())
        return 1;
    if (m_thread) {
        WaitForSingleObject(m_thread.get(), INFINITE); // already ended
        m_thread.Reset();
    }
    m_kind = kind;
    m_ready.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_ready) {
        m_kind = kCanvasClosed;
        return 0;
    }
    m_thread.Reset(CreateThread(nullptr, 0, CanvasThreadMain, this, 0, &m_threadId));
    if (!m_thread) {
        m_kind = kCanvasClosed;
        return 0;
    }
    // The thread sets its event once its windows stand or it gave up; its end
    // also ends the wait, so a caller on a receive thread never waits forever.
    // Messages other threads send meanwhile are answered (the new frame's
    // activation is sent to the starter's windows), so neither waits on the
    // other.
    HANDLE both[2] = {m_ready.get(), m_thread.get()};
    const DWORD start = GetTickCount();
    for (DWORD waited = 0; waited < kReadyWaitMs; waited = GetTickCount() - start) {
        const DWORD r = MsgWaitForMultipleObjects(2, both, FALSE, kReadyWaitMs - waited, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 2)
            break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (!m_drawing) {
        // A thread that gave up is ending: let it finish its release.
        WaitForSingleObject(m_thread.get(), kReadyWaitMs);
        DHLog::Instance().Print(0x08, 2, false, "The canvas could not open its windows.\n");
        return 0;
    }
    return 1;
}

void CCanvas::RunThread()
{
    GdiplusSession gdiplus;
    const bool made = gdiplus.ok() && MakeWindows();
    SetEvent(m_ready.get());
    if (made) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            HWND toolbar = m_toolbar;
            if (toolbar && IsDialogMessageW(toolbar, &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (IsOwner())
            SendControl(kControlClosed, 0, 0, 0, 0);
    }
    const bool viewerAnnotation = m_kind == kCanvasAnnotationViewer;
    ReleaseAll();
    if (CCanvasMessager* messager = m_messager; viewerAnnotation && messager)
        messager->Refresh();
}

bool CCanvas::MakeLayers()
{
    const uint32_t fill = IsWhiteboard() ? (0xFF000000u | ([] {
                                               const COLORREF c = GetSysColor(COLOR_WINDOW);
                                               return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
                                           })())
                                         : 0u;
    std::lock_guard<std::mutex> l(m_layerLock);
    if (!m_layerA.Create(m_canvasWidth, m_canvasHeight, fill) ||
        !m_layerB.Create(m_canvasWidth, m_canvasHeight, fill)) {
        m_layerA.Release();
        m_layerB.Release();
        return false;
    }
    m_preview.Reset();
    m_onScreen = &m_layerA;
    return true;
}

bool CCanvas::MakeWindows()
{
    if (!MakeLayers())
        return false;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const int kind = m_kind;
    const int w = m_canvasWidth;
    const int h = m_canvasHeight;
    if (kind == kCanvasAnnotationOwner || kind == kCanvasAnnotationViewer) {
        const DWORD clickThrough = m_tool.type == kToolSelect ? WS_EX_TRANSPARENT : 0;
        const int x = kind == kCanvasAnnotationOwner ? 0 : -10000;
        const int y = kind == kCanvasAnnotationOwner ? 0 : -10000;
        HWND drawing = CreateWindowExW(WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TOOLWINDOW | clickThrough, kDrawingClass,
                                       L"", WS_POPUP, x, y, w, h, nullptr, nullptr, instance, this);
        if (!drawing)
            return false;
        m_drawing = drawing;
        RegisterAppWindow(drawing);
        if (kind == kCanvasAnnotationOwner) {
            Present(m_layerA);
            ShowWindow(drawing, SW_SHOWNOACTIVATE);
            HWND catcher = CreateWindowExW(WS_EX_TOPMOST | WS_EX_LAYERED | WS_EX_TOOLWINDOW, kDrawingClass, L"",
                                           WS_POPUP, 0, 0, w, h, nullptr, nullptr, instance, this);
            if (catcher) {
                SetLayeredWindowAttributes(catcher, 0, 1, LWA_ALPHA);
                m_catcher = catcher;
                RegisterAppWindow(catcher);
            }
            MakeToolbar(nullptr);
        }
    } else {
        const bool owner = kind == kCanvasWhiteboardOwner;
        const DWORD style = owner ? WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN
                                  : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        const int fw = kWhiteboardFrameWidth;
        const int fh = owner ? kWhiteboardFrameHeight : kViewerFirstHeight;
        static ResStringSlot title;
        HWND frame = CreateWindowExW(WS_EX_LAYERED, kFrameClass, LoadResString(title, IDS_CANVAS_WHITEBOARD), style,
                                     (GetSystemMetrics(SM_CXSCREEN) - fw) / 2,
                                     (GetSystemMetrics(SM_CYSCREEN) - fh) / 2, fw, fh, nullptr, nullptr, instance, this);
        if (!frame)
            return false;
        SetLayeredWindowAttributes(frame, 0, 255, LWA_ALPHA);
        m_frame = frame;
        HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(kProgramIcon));
        if (icon)
            SendMessageW(frame, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        if (owner)
            MakeToolbar(frame);
        HWND drawing = CreateWindowExW(0, kDrawingClass, L"",
                                       WS_CHILD | WS_VISIBLE | (owner ? WS_HSCROLL | WS_VSCROLL : 0), 0, 0, 10, 10,
                                       frame, nullptr, instance, this);
        if (!drawing) {
            DestroyWindow(frame);
            m_frame = nullptr;
            return false;
        }
        m_drawing = drawing;
        LayoutFrame();
        RegisterAppWindow(frame);
        ShowWindow(frame, SW_SHOW);
        if (owner)
            SendControl(kControlWhiteboardOpen, kWhiteboardFrameWidth, kWhiteboardFrameHeight, w, h);
        m_frameOpen = true;
    }
    HWND text = CreateCanvasDialog<&CCanvas::OnTextMessage>(this, IDD_CANVAS_TEXT);
    if (text) {
        m_textDialog = text;
        SendDlgItemMessageW(text, IDC_CANVAS_TEXT_EDIT, EM_LIMITTEXT, kCanvasTextMaxChars, 0);
        RegisterAppWindow(text);
    }
    SetToolCursor();
    return true;
}

void CCanvas::ReleaseAll()
{
    for (std::atomic<HWND>* w : {&m_textDialog, &m_toolbar, &m_catcher, &m_drawing, &m_frame}) {
        HWND hwnd = w->exchange(nullptr);
        if (hwnd && IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    if (m_tooltip && IsWindow(m_tooltip))
        DestroyWindow(m_tooltip);
    m_tooltip = nullptr;
    m_toolButtons = nullptr;
    if (m_images)
        ImageList_Destroy(m_images);
    m_images = nullptr;
    {
        std::lock_guard<std::mutex> l(m_layerLock);
        m_onScreen = nullptr;
        m_preview.EndStroke();
        m_layerA.Release();
        m_layerB.Release();
    }
    {
        std::lock_guard<std::mutex> l(m_inboxLock);
        m_inbox.clear();
    }
    m_mode = m_prevMode = kIdle;
    m_frameOpen = false;
    m_scrollX = m_scrollY = 0;
    m_typing.clear();
    m_pendingText.clear();
    m_tool = m_tools[kToolSelect];
    m_kind = kCanvasClosed;
}

void CCanvas::Close()
{
    if (!ThreadRunning())
        return;
    if (HWND drawing = m_drawing) {
        if (m_kind == kCanvasAnnotationOwner || m_kind == kCanvasAnnotationViewer)
            SetWindowLongPtrW(drawing, GWL_EXSTYLE,
                              GetWindowLongPtrW(drawing, GWL_EXSTYLE) & ~(WS_EX_LAYERED | WS_EX_TRANSPARENT));
    }
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
}

void CCanvas::QuitWhiteboard()
{
    if (IsOwner() && ThreadRunning())
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
}

void CCanvas::SendControl(int command, int a, int b, int c, int d)
{
    CCanvasMessager* messager = m_messager;
    if (!messager || (m_kind == kCanvasAnnotationOwner && g_comProbeOk))
        return;
    messager->SendControl({command, {a, b, c, d}}, m_kind);
}

void CCanvas::SendShape(int number, int x1, int y1, int x2, int y2)
{
    CCanvasMessager* messager = m_messager;
    if (!messager || (m_kind == kCanvasAnnotationOwner && g_comProbeOk))
        return;
    RECT rc = {};
    HWND drawing = m_drawing;
    if (!drawing || !GetClientRect(drawing, &rc))
        rc = {};
    CanvasShapeRecord r;
    CMsgHandler::FillShapeRecord(r, number, rc.right, rc.bottom, x1, y1, x2, y2, m_tool);
    messager->SendShape(r, m_kind);
}

void CCanvas::SendText(int number)
{
    CCanvasMessager* messager = m_messager;
    if (!messager || (m_kind == kCanvasAnnotationOwner && g_comProbeOk))
        return;
    messager->SendText({number, static_cast<int>(m_start.x), static_cast<int>(m_start.y), m_pendingText}, m_kind);
}

void CCanvas::ApplyMessage(const char* text)
{
    if (!text)
        return;
    std::string message(text);
    const int kind = ClassifyCanvasMessage(message.data(), message.size());
    if (kind == -1)
        return;
    if (kind != kCanvasKindBoth && (kind % 2 == 0) != (m_surface == kCanvasAnnotation))
        return;
    if (kind == 2 || kind == 3) {
        CanvasControlRecord r;
        if (!CMsgHandler::ParseControl(message, r))
            return;
        // An owner's "open" opens this participant's viewer canvas; its sizes
        // are checked before anything is made at them.
        const bool opens = (r.command == kControlWhiteboardOpen && m_surface == kCanvasWhiteboard) ||
                           (r.command == kControlAnnotationOpen && m_surface == kCanvasAnnotation);
        if (opens && !ThreadRunning()) {
            const int w = r.command == kControlWhiteboardOpen ? r.codes[2] : r.codes[0];
            const int h = r.command == kControlWhiteboardOpen ? kWhiteboardCanvasHeight : r.codes[1];
            if (!CanvasSizeValid(w, h) ||
                (r.command == kControlWhiteboardOpen && !CanvasSizeValid(r.codes[0], r.codes[1]))) {
                DHLog::Instance().Print(0x08, 2, false, "A canvas message with the size %d x %d was dropped.\n", w,
                                        h);
                return;
            }
            m_canvasWidth = w;
            m_canvasHeight = h;
            const int started = r.command == kControlWhiteboardOpen ? StartWhiteboardThread(kCanvasWhiteboardViewer)
                                                                    : StartAnnotationThread(kCanvasAnnotationViewer);
            if (!started)
                return;
        }
    }
    HWND drawing = m_drawing;
    if (!drawing || !ThreadRunning())
        return;
    {
        std::lock_guard<std::mutex> l(m_inboxLock);
        m_inbox.push_back(std::move(message));
    }
    PostMessageW(drawing, kWakeMessage, 0, 0);
}

std::shared_ptr<const AnnotationLayer> CCanvas::GetLayerBitmap()
{
    if (!m_drawing)
        return nullptr;
    std::lock_guard<std::mutex> l(m_layerLock);
    if (!m_onScreen || !m_onScreen->Ready())
        return nullptr;
    GdiFlush();
    auto layer = std::make_shared<AnnotationLayer>();
    layer->width = m_onScreen->Width();
    layer->height = m_onScreen->Height();
    layer->pixels.assign(m_onScreen->Pixels(), m_onScreen->Pixels() + m_onScreen->PixelCount());
    return layer;
}

int CCanvas::IsWhiteboardVisible(int* visible)
{
    HWND frame = m_frame;
    if (m_kind != kCanvasWhiteboardViewer || !frame || !IsWindow(frame) || !visible)
        return 0;
    *visible = IsWindowVisible(frame) ? 1 : 0;
    return 1;
}

void CCanvas::ShowWhiteboard(int show)
{
    HWND frame = m_frame;
    if (m_kind == kCanvasWhiteboardViewer && frame && IsWindow(frame))
        ShowWindow(frame, show);
}

// ---- received messages (canvas thread) ----

void CCanvas::DrainInbox()
{
    for (;;) {
        std::string message;
        {
            std::lock_guard<std::mutex> l(m_inboxLock);
            if (m_inbox.empty())
                return;
            message = std::move(m_inbox.front());
            m_inbox.pop_front();
        }
        Apply(message);
        if (!m_drawing)
            return;
    }
}

void CCanvas::Apply(const std::string& message)
{
    const int kind = ClassifyCanvasMessage(message.data(), message.size());
    switch (kind) {
    case kCanvasKindBoth: ApplyControl(message, kind); break;
    case 0:
    case 1: ApplyShape(message); break;
    case 2:
    case 3: ApplyControl(message, kind); break;
    case 4:
    case 5: ApplyText(message); break;
    default: break;
    }
}

void CCanvas::ApplyShape(const std::string& message)
{
    CanvasShapeRecord r;
    CMsgHandler::FillShapeRecord(r, 0, 0, 0, m_start.x, m_start.y, m_start.x, m_start.y, m_tool);
    if (!CMsgHandler::ParseShape(message, r))
        return;
    CTool tool = m_tools[r.toolType];
    tool.width = std::clamp(r.width, 0, 100);
    tool.alpha = std::clamp(r.alpha, 0, 255);
    tool.foreground = r.foreground;
    tool.background = r.background;
    tool.foregroundNone = r.foregroundNone;
    tool.backgroundNone = r.backgroundNone;
    tool.fontFamily = r.fontFamily.substr(0, LF_FACESIZE - 1);
    tool.fontSize = std::clamp(r.fontSize, 0, 96);
    tool.fontStyle = r.fontStyle & (kFontBold | kFontItalic | kFontUnderline);
    m_tool = tool;
    m_start = {HoldPoint(r.x1), HoldPoint(r.y1)};
    const int x = HoldPoint(r.x2);
    const int y = HoldPoint(r.y2);
    switch (r.number) {
    case kShapePress: OnPress(x, y); break;
    case kShapeRelease: OnRelease(x, y); break;
    case kShapeMove:
        m_mode = m_tool.type == kToolEraser ? kErasing : kDrawing;
        OnMove(x, y);
        break;
    default: break;
    }
}

void CCanvas::ApplyControl(const std::string& message, int kind)
{
    CanvasControlRecord r;
    if (!CMsgHandler::ParseControl(message, r))
        return;
    if (kind == kCanvasKindBoth) {
        if (r.command != kControlStateRequest)
            return;
        if (m_kind == kCanvasAnnotationOwner) {
            SendControl(kControlAnnotationOpen, m_canvasWidth, m_canvasHeight, 0, 0);
        } else if (m_kind == kCanvasWhiteboardOwner && m_frame) {
            RECT frame = {}, bar = {};
            GetWindowRect(m_frame, &frame);
            if (HWND toolbar = m_toolbar)
                GetWindowRect(toolbar, &bar);
            SendControl(kControlWhiteboardOpen, frame.right - frame.left,
                        (frame.bottom - frame.top) - (bar.bottom - bar.top), m_canvasWidth, m_canvasHeight);
        }
        return;
    }
    switch (r.command) {
    case kControlToolChanged:
        if (r.codes[1] >= 0 && r.codes[1] < kToolCount)
            m_tool.type = r.codes[1];
        m_mode = kIdle;
        break;
    case kControlClosed: PostQuitMessage(0); break;
    case kControlClearAll: ClearAll(); break;
    case kControlWhiteboardOpen:
    case kControlFrameResized:
        if (m_frame && CanvasSizeValid(r.codes[0], r.codes[1]))
            SetWindowPos(m_frame, nullptr, 0, 0, r.codes[0], r.codes[1], SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    case kControlScrollX:
    case kControlScrollY: {
        RECT rc = {};
        GetClientRect(m_drawing, &rc);
        if (r.command == kControlScrollX)
            m_scrollX = ClampScroll(r.codes[0], m_canvasWidth, rc.right);
        else
            m_scrollY = ClampScroll(r.codes[0], m_canvasHeight, rc.bottom);
        InvalidateRect(m_drawing, nullptr, FALSE);
        break;
    }
    default: break;
    }
}

void CCanvas::ApplyText(const std::string& message)
{
    CanvasTextRecord r;
    if (!CMsgHandler::ParseText(message, r) || (r.number != kTextPreview && r.number != kTextFinished))
        return;
    if (IsOwner())
        return; // an owner draws its own entry
    const int x = HoldPoint(r.x);
    const int y = HoldPoint(r.y);
    if (r.number == kTextFinished) {
        {
            std::lock_guard<std::mutex> l(m_layerLock);
            DrawTextAt(m_layerA, r.text, x, y);
        }
        m_mode = kIdle;
        Present(m_layerA);
    } else {
        {
            std::lock_guard<std::mutex> l(m_layerLock);
            if (CanvasLayer* preview = m_preview.Restore())
                DrawTextAt(*preview, r.text, x, y);
        }
        m_mode = kTyping;
        Present(m_layerB);
    }
}

// ---- drawing (canvas thread) ----

void CCanvas::OnPress(int x, int y)
{
    if (m_mode != kIdle)
        return;
    HWND drawing = m_drawing;
    switch (m_tool.type) {
    case kToolEraser:
        m_mode = kErasing;
        m_start = {x, y};
        if (IsOwner())
            SetCapture(drawing);
        break;
    case kToolText:
        m_mode = kTyping;
        m_start = {x, y};
        if (IsOwner() && m_textDialog) {
            POINT at = {x - m_scrollX, y - m_scrollY};
            ClientToScreen(drawing, &at);
            RECT rc = {};
            GetClientRect(drawing, &rc);
            POINT right = {rc.right, 0};
            ClientToScreen(drawing, &right);
            const int width = std::max(40, static_cast<int>(right.x - 15 - at.x));
            SetWindowPos(m_textDialog, HWND_TOPMOST, at.x, at.y, width, 25, SWP_SHOWWINDOW);
            HWND edit = GetDlgItem(m_textDialog, IDC_CANVAS_TEXT_EDIT);
            MoveWindow(edit, 0, 0, width, 25, TRUE);
            SetForegroundWindow(m_textDialog);
            SetFocus(edit);
        }
        break;
    case kToolPen:
    case kToolHighlighter:
    case kToolLine:
    case kToolRectangle:
    case kToolEllipse:
        m_mode = kDrawing;
        m_start = {x, y};
        if (IsOwner())
            SetCapture(drawing);
        break;
    default: break;
    }
}

void CCanvas::OnMove(int x, int y)
{
    if (m_mode != kErasing && m_mode != kDrawing)
        return;
    if (IsOwner())
        SendShape(kShapeMove, m_start.x, m_start.y, x, y);
    if (m_mode == kErasing)
        EraseSegment(x, y);
    else if (x != m_start.x || y != m_start.y)
        DrawStep(x, y);
}

void CCanvas::OnRelease(int x, int y)
{
    if (IsOwner())
        SendShape(kShapeRelease, m_start.x, m_start.y, x, y);
    if (m_mode == kErasing || m_mode == kDrawing) {
        m_prevMode = m_mode;
        m_mode = kIdle;
        const int type = m_tool.type;
        {
            std::lock_guard<std::mutex> l(m_layerLock);
            if (type >= kToolHighlighter && type <= kToolEllipse)
                m_preview.Commit();
            m_preview.EndStroke();
        }
        Present(m_layerA);
    }
    if (IsOwner() && GetCapture() == m_drawing)
        ReleaseCapture();
    SetToolCursor();
}

void CCanvas::DrawStep(int x, int y)
{
    const CTool& t = m_tool;
    CanvasLayer* shown = &m_layerB;
    {
        std::lock_guard<std::mutex> l(m_layerLock);
        if (!m_layerA.Ready())
            return;
        const POINT here = {x, y};
        if (t.type == kToolPen) {
            if (const std::unique_ptr<Gdiplus::Pen> pen = MakeToolPen(t)) {
                Gdiplus::Graphics g(m_layerA.Image());
                g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
                g.DrawLine(pen.get(), static_cast<int>(m_start.x), static_cast<int>(m_start.y), x, y);
                m_preview.Touched(StrokeBox(m_start.x, m_start.y, x, y, t.width));
            }
            m_start = here;
            shown = &m_layerA;
        } else {
            m_preview.Step(t, m_start, here);
            // The highlighter's stroke goes on from here.
            if (t.type == kToolHighlighter)
                m_start = here;
        }
    }
    Present(*shown);
}

void CCanvas::EraseSegment(int x, int y)
{
    {
        std::lock_guard<std::mutex> l(m_layerLock);
        if (!m_layerA.Ready())
            return;
        const int width = std::max(1, m_tool.width);
        if (IsWhiteboard()) {
            Gdiplus::Graphics g(m_layerA.Image());
            Gdiplus::Pen pen(Gdiplus::Color(255, 255, 255, 255), static_cast<Gdiplus::REAL>(width));
            pen.SetStartCap(Gdiplus::LineCapRound);
            pen.SetEndCap(Gdiplus::LineCapRound);
            g.DrawLine(&pen, static_cast<int>(m_start.x), static_cast<int>(m_start.y), x, y);
            m_preview.Touched(StrokeBox(m_start.x, m_start.y, x, y, width));
        } else {
            // What the eraser touches ends fully transparent: a solid line
            // of the eraser's mark, then every marked pixel cleared.
            GdiObject<HPEN> pen(CreatePen(PS_SOLID, width, kEraserMark));
            HDC dc = m_layerA.Dc();
            HGDIOBJ old = SelectObject(dc, pen.get());
            MoveToEx(dc, m_start.x, m_start.y, nullptr);
            LineTo(dc, x, y);
            SelectObject(dc, old);
            GdiFlush();
            ClearEraserMarks(m_layerA.Pixels(), m_layerA.PixelCount());
            // The pass reaches every pixel of the layer.
            m_preview.TouchedAll();
        }
        m_start = {x, y};
    }
    Present(m_layerA);
}

void CCanvas::ClearAll()
{
    {
        std::lock_guard<std::mutex> l(m_layerLock);
        m_layerA.Fill(IsWhiteboard() ? 0xFFFFFFFFu : 0u);
        m_preview.TouchedAll();
    }
    Present(m_layerA);
}

void CCanvas::Present(CanvasLayer& layer)
{
    HWND drawing = m_drawing;
    LayerBox changed;
    {
        std::lock_guard<std::mutex> l(m_layerLock);
        m_onScreen = &layer;
        if (!drawing || !layer.Ready())
            return;
        changed = m_preview.TakeUnpresented();
    }
    switch (m_kind) {
    case kCanvasWhiteboardOwner:
    case kCanvasWhiteboardViewer: {
        // Only what changed since the last presenting; painting brings the
        // whole window.
        if (changed.Empty())
            break;
        HDC dc = GetDC(drawing);
        BitBlt(dc, changed.left - m_scrollX, changed.top - m_scrollY, changed.Width(), changed.Height(), layer.Dc(),
               changed.left, changed.top, SRCCOPY);
        ReleaseDC(drawing, dc);
        break;
    }
    case kCanvasAnnotationOwner: {
        POINT origin = {0, 0};
        SIZE size = {layer.Width(), layer.Height()};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(drawing, nullptr, &origin, &size, layer.Dc(), &origin, 0, &blend, ULW_ALPHA);
        break;
    }
    case kCanvasAnnotationViewer:
        if (CCanvasMessager* messager = m_messager)
            messager->Refresh();
        break;
    default: break;
    }
}

void CCanvas::PaintWhiteboard(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc = {};
    GetClientRect(hwnd, &rc);
    CanvasLayer* layer = m_mode == kIdle ? &m_layerA : m_onScreen;
    if (layer && layer->Ready()) {
        BitBlt(dc, -m_scrollX, -m_scrollY, layer->Width(), layer->Height(), layer->Dc(), 0, 0, SRCCOPY);
        // Outside the canvas the window is grey.
        GdiObject<HBRUSH> grey(CreateSolidBrush(RGB(0xDC, 0xDC, 0xDC)));
        RECT right = {layer->Width() - m_scrollX, 0, rc.right, rc.bottom};
        RECT below = {0, layer->Height() - m_scrollY, rc.right, rc.bottom};
        if (right.left < right.right)
            FillRect(dc, &right, grey.get());
        if (below.top < below.bottom)
            FillRect(dc, &below, grey.get());
    }
    EndPaint(hwnd, &ps);
}

void CCanvas::DrawTextAt(CanvasLayer& layer, const std::wstring& text, int x, int y)
{
    // Text placed at the very corner is not drawn.
    if ((x == 0 && y == 0) || m_tool.foregroundNone || text.empty() || !layer.Ready())
        return;
    Gdiplus::Graphics g(layer.Image());
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    // The tool's family, else a sans-serif one, else any the system has;
    // without any there is nothing to draw with.
    Gdiplus::FontFamily family(m_tool.fontFamily.c_str());
    const Gdiplus::FontFamily* generic = Gdiplus::FontFamily::GenericSansSerif();
    Gdiplus::InstalledFontCollection installed;
    Gdiplus::FontFamily first;
    int found = 0;
    const Gdiplus::FontFamily* use = nullptr;
    if (family.IsAvailable())
        use = &family;
    else if (generic && generic->IsAvailable())
        use = generic;
    else if (installed.GetFamilies(1, &first, &found) == Gdiplus::Ok && found == 1 && first.IsAvailable())
        use = &first;
    if (!use)
        return;
    int style = Gdiplus::FontStyleRegular;
    if (m_tool.fontStyle & kFontBold)
        style |= Gdiplus::FontStyleBold;
    if (m_tool.fontStyle & kFontItalic)
        style |= Gdiplus::FontStyleItalic;
    if (m_tool.fontStyle & kFontUnderline)
        style |= Gdiplus::FontStyleUnderline;
    Gdiplus::Font font(use, static_cast<Gdiplus::REAL>(ClampFontSize(m_tool.fontSize)), style, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush brush(ToolArgb(254, m_tool.foreground));
    g.DrawString(text.c_str(), static_cast<INT>(text.size()), &font,
                 Gdiplus::PointF(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y)), &brush);
    m_preview.TouchedAll();
}

void CCanvas::CommitText()
{
    HWND edit = m_textDialog ? GetDlgItem(m_textDialog, IDC_CANVAS_TEXT_EDIT) : nullptr;
    std::wstring text;
    if (edit) {
        text.resize(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1);
        text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
        SetWindowTextW(edit, L"");
    }
    {
        std::lock_guard<std::mutex> l(m_layerLock);
        DrawTextAt(m_layerA, text, m_start.x, m_start.y);
    }
    m_mode = kIdle;
    Present(m_layerA);
}

void CCanvas::ResetStroke()
{
    if (m_mode != kIdle) {
        m_prevMode = m_mode;
        m_mode = kIdle;
    }
    std::lock_guard<std::mutex> l(m_layerLock);
    m_preview.EndStroke();
}

void CCanvas::SetToolCursor()
{
    LPCWSTR id = IDC_ARROW;
    switch (m_tool.type) {
    case kToolEraser:
    case kToolPen:
    case kToolHighlighter:
    case kToolLine:
    case kToolRectangle:
    case kToolEllipse: id = IDC_CROSS; break;
    case kToolText: id = IDC_IBEAM; break;
    default: break;
    }
    SetCursor(LoadCursorW(nullptr, id));
}

// ---- windows ----

LRESULT CCanvas::OnDrawingMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const bool takesInput = m_kind == kCanvasWhiteboardOwner || m_kind == kCanvasAnnotationOwner;
    const int x = static_cast<short>(LOWORD(lp)) + m_scrollX;
    const int y = static_cast<short>(HIWORD(lp)) + m_scrollY;
    switch (msg) {
    case kWakeMessage: DrainInbox(); return 0;
    case kCommitTextMessage: CommitText(); return 0;
    case WM_LBUTTONDOWN:
        if (takesInput)
            OnPress(x, y);
        return 0;
    case WM_MOUSEMOVE:
        if (takesInput)
            OnMove(x, y);
        return 0;
    case WM_LBUTTONUP:
        if (takesInput)
            OnRelease(x, y);
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT) {
            SetToolCursor();
            return TRUE;
        }
        break;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
        if (IsWhiteboard()) {
            PaintWhiteboard(hwnd);
            return 0;
        }
        break;
    case WM_SIZE:
        if (m_kind == kCanvasWhiteboardOwner)
            UpdateScrollBars();
        return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (m_kind == kCanvasWhiteboardOwner)
            Scroll(msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_DESTROY:
        if (m_kind == kCanvasAnnotationOwner || m_kind == kCanvasAnnotationViewer)
            PostQuitMessage(0);
        break;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CCanvas::OnCatcherMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDBLCLK: {
        HWND toolbar = m_toolbar;
        RECT bar = {};
        POINT at = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        ClientToScreen(hwnd, &at);
        if (toolbar && GetWindowRect(toolbar, &bar) && PtInRect(&bar, at)) {
            SetWindowPos(toolbar, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return 0;
        }
        PostMessageW(m_drawing, msg, wp, lp);
        return 0;
    }
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CCanvas::OnFrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED) {
            LayoutFrame();
            // The first sizes come before the viewers know of the frame.
            if (m_kind == kCanvasWhiteboardOwner && m_frameOpen)
                SendControl(kControlFrameResized, LOWORD(lp), HIWORD(lp), 0, 0);
        }
        return 0;
    case WM_CLOSE:
        if (m_kind == kCanvasWhiteboardOwner)
            PostQuitMessage(0);
        else
            ShowWindow(hwnd, SW_HIDE);
        return 0;
    case WM_ERASEBKGND: return 1;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void CCanvas::LayoutFrame()
{
    HWND frame = m_frame;
    if (!frame)
        return;
    RECT rc = {};
    GetClientRect(frame, &rc);
    int top = 0;
    if (HWND toolbar = m_toolbar) {
        RECT bar = {};
        GetWindowRect(toolbar, &bar);
        top = bar.bottom - bar.top;
        MoveWindow(toolbar, 0, 0, rc.right, top, TRUE);
    }
    if (HWND drawing = m_drawing)
        MoveWindow(drawing, 0, top, rc.right, std::max(0, static_cast<int>(rc.bottom) - top), TRUE);
}

void CCanvas::UpdateScrollBars()
{
    HWND drawing = m_drawing;
    RECT rc = {};
    GetClientRect(drawing, &rc);
    const int sizes[2] = {m_canvasWidth, m_canvasHeight};
    const int pages[2] = {rc.right, rc.bottom};
    int* positions[2] = {&m_scrollX, &m_scrollY};
    for (int bar = SB_HORZ; bar <= SB_VERT; ++bar) {
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        const bool fits = pages[bar] >= sizes[bar];
        si.nMin = 0;
        si.nMax = fits ? 0 : sizes[bar] - 1;
        si.nPage = fits ? 0 : static_cast<UINT>(pages[bar]);
        *positions[bar] = ClampScroll(*positions[bar], sizes[bar], pages[bar]);
        si.nPos = *positions[bar];
        SetScrollInfo(drawing, bar, &si, TRUE);
    }
    InvalidateRect(drawing, nullptr, FALSE);
}

void CCanvas::Scroll(int bar, int request, int thumb)
{
    HWND drawing = m_drawing;
    RECT rc = {};
    GetClientRect(drawing, &rc);
    const int page = bar == SB_HORZ ? rc.right : rc.bottom;
    const int size = bar == SB_HORZ ? m_canvasWidth : m_canvasHeight;
    int& pos = bar == SB_HORZ ? m_scrollX : m_scrollY;
    int next = pos;
    switch (request) {
    case SB_LINEUP: next -= 10; break;
    case SB_LINEDOWN: next += 10; break;
    case SB_PAGEUP: next -= page; break;
    case SB_PAGEDOWN: next += page; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: next = thumb; break;
    case SB_TOP: next = 0; break;
    case SB_BOTTOM: next = size; break;
    default: return;
    }
    next = ClampScroll(next, size, page);
    if (next == pos)
        return;
    pos = next;
    SetScrollPos(drawing, bar, pos, TRUE);
    SendControl(bar == SB_HORZ ? kControlScrollX : kControlScrollY, pos, 0, 0, 0);
    InvalidateRect(drawing, nullptr, FALSE);
}

// ---- the text entry ----

INT_PTR CCanvas::OnTextMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: return FALSE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDC_CANVAS_TEXT_EDIT && HIWORD(wp) == EN_CHANGE) {
            OnTextChanged();
            return TRUE;
        }
        if (LOWORD(wp) == IDC_CANVAS_TEXT_EDIT && HIWORD(wp) == EN_KILLFOCUS && IsWindowVisible(hwnd)) {
            ShowWindow(hwnd, SW_HIDE);
            HWND edit = GetDlgItem(hwnd, IDC_CANVAS_TEXT_EDIT);
            std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
            PostMessageW(m_drawing, kCommitTextMessage, 0, 0);
            KillTimer(hwnd, kTextTimer);
            SendShape(kShapeSettings, -1000, -1000, -1000, -1000);
            m_pendingText = text;
            m_pendingNumber = kTextFinished;
            m_textTimerPending = true;
            SetTimer(hwnd, kTextTimer, kTextDelayMs, nullptr);
            m_typing.clear();
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        if (wp == kTextTimer) {
            KillTimer(hwnd, kTextTimer);
            m_textTimerPending = false;
            SendText(m_pendingNumber);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

void CCanvas::OnTextChanged()
{
    HWND dialog = m_textDialog;
    HWND edit = GetDlgItem(dialog, IDC_CANVAS_TEXT_EDIT);
    const int lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
    RECT rc = {};
    GetWindowRect(dialog, &rc);
    const int height = (lines + 1) * 16;
    if (rc.bottom - rc.top != height) {
        SetWindowPos(dialog, nullptr, 0, 0, rc.right - rc.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        MoveWindow(edit, 0, 0, rc.right - rc.left, height, TRUE);
    }
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    if (text == m_typing)
        return;
    const bool first = m_typing.empty();
    m_typing = text;
    m_pendingText = text;
    m_pendingNumber = kTextPreview;
    if (first) {
        // The settings go first, so the viewers draw in this tool's font;
        // the text follows when the timer fires, as it then reads.
        SendShape(kShapeSettings, -1000, -1000, -1000, -1000);
        m_textTimerPending = true;
        SetTimer(dialog, kTextTimer, kTextDelayMs, nullptr);
    } else if (!m_textTimerPending) {
        SendText(kTextPreview);
    }
}

// ---- the messager ----

CCanvasMessager::CCanvasMessager(CCanvas* canvas, MeetingContext* meeting) : m_canvas(canvas), m_meeting(meeting)
{
    if (m_canvas)
        m_canvas->SetMessager(this);
}

CCanvasMessager::~CCanvasMessager()
{
    // The canvas's thread sends through this messager to its end.
    if (m_canvas && m_canvas->Messager() == this) {
        m_canvas->Shutdown();
        m_canvas->SetMessager(nullptr);
    }
}

void CCanvasMessager::Send(const std::string& text)
{
    if (text.empty() || !m_meeting)
        return;
    // A message the packet cannot carry is not sent at all: cut short it
    // would break every receiver's stream.
    if (text.size() > kCanvasMessageMax) {
        DHLog::Instance().Print(0x08, 2, false, "A canvas message of %u bytes is too long to send.\n",
                                static_cast<unsigned>(text.size()));
        return;
    }
    m_meeting->SendCanvasMessage(text);
}

void CCanvasMessager::SendShape(const CanvasShapeRecord& r, int kind)
{
    std::string text;
    BuildShape(r, text, kind);
    Send(text);
}

void CCanvasMessager::SendControl(const CanvasControlRecord& r, int kind)
{
    std::string text;
    BuildControl(r, text, kind);
    Send(text);
}

void CCanvasMessager::SendText(const CanvasTextRecord& r, int kind)
{
    std::string text;
    BuildText(r, text, kind);
    Send(text);
}

void CCanvasMessager::Refresh()
{
    if (m_meeting)
        m_meeting->RepaintSharingView();
}
