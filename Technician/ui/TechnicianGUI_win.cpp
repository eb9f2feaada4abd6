#include "Technician/ui/TechnicianGUI.h"

#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/ViewerResources.h"
#include "core/base/LoadResString.h"
#include "core/base/WindowUtil.h"
#include "core/base/WorkAreaPlacement.h"

#include <algorithm>
#include <stdexcept>

namespace {

const wchar_t kFrameClass[] = L"Corvisk_Window";
const wchar_t kViewerClass[] = L"DHviewerwindow";
const wchar_t kSplitterClass[] = L"TechnicianLayoutSplitter";
constexpr int kFrameWidth = 800;
constexpr int kFrameHeight = 600;
constexpr int kSplitterWidth = 4;

HICON ProgramIcon(int id, int size)
{
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
}

// A class registered by an earlier GUI is no failure.
bool Register(const wchar_t* name, WNDPROC proc, HCURSOR cursor, HBRUSH background)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = ProgramIcon(IDI_VIEWER_BIG, GetSystemMetrics(SM_CXICON));
    wc.hIconSm = ProgramIcon(IDI_VIEWER_SMALL, GetSystemMetrics(SM_CXSMICON));
    wc.hCursor = cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

template <class T>
T* Owner(HWND hwnd)
{
    return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

} // namespace

TechnicianGUI::TechnicianGUI(MeetingContext* meeting, HWND parent) : m_meeting(meeting), m_parent(parent) {}

TechnicianGUI::~TechnicianGUI()
{
    // The reader is joined first, then the live display state is saved,
    // however the session ended.
    if (m_conn)
        m_conn->Stop();
    SaveOptions();
    delete m_conn;
    m_conn = nullptr;
    // Clipboard texts the reader posted and the window never took.
    MSG pending;
    while (m_hwndViewer && PeekMessageW(&pending, m_hwndViewer, WM_VIEWER_CLIPBOARD, WM_VIEWER_CLIPBOARD, PM_REMOVE))
        delete reinterpret_cast<std::string*>(pending.lParam);
    for (HWND w : {m_hwndViewer, m_hwndContainer, m_hwndFrame, m_hwndSplitter})
        if (w && IsWindow(w))
            SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    if (m_hwndViewer && IsWindow(m_hwndViewer))
        ChangeClipboardChain(m_hwndViewer, m_nextClipboardViewer);
    if (m_hwndFrame && IsWindow(m_hwndFrame))
        DestroyWindow(m_hwndFrame);
}

void TechnicianGUI::CreateWindows()
{
    HINSTANCE inst = GetModuleHandleW(nullptr);
    HCURSOR viewerCursor = LoadCursorW(inst, MAKEINTRESOURCEW(IDC_VIEWER_CROSS));
    if (!Register(kFrameClass, FrameProc, nullptr, GetSysColorBrush(COLOR_BTNFACE)) ||
        !Register(kViewerClass, ViewerProc, viewerCursor, nullptr) ||
        !Register(kSplitterClass, SplitterProc, LoadCursorW(nullptr, IDC_SIZEWE), GetSysColorBrush(COLOR_BTNFACE)))
        throw std::runtime_error("viewer window classes");

    static ResStringSlot titleSlot;
    RECT work;
    GetWorkArea(&work);
    const PlacementRect place =
        CenteredInWorkArea({work.left, work.top, work.right, work.bottom}, kFrameWidth, kFrameHeight);
    m_hwndFrame = CreateWindowExW(0, kFrameClass, LoadResString(titleSlot, IDS_VIEWER_TITLE),
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, m_parent, nullptr, inst,
                                  nullptr);
    if (!m_hwndFrame)
        throw std::runtime_error("viewer frame");
    SetWindowLongPtrW(m_hwndFrame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SendMessageW(m_hwndFrame, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(ProgramIcon(IDI_VIEWER_BIG, GetSystemMetrics(SM_CXICON))));
    SendMessageW(m_hwndFrame, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(ProgramIcon(IDI_VIEWER_SMALL, GetSystemMetrics(SM_CXSMICON))));
    AddFullScreenMenuItem();

    auto fail = [this](const char* what) {
        DestroyWindow(m_hwndFrame);
        m_hwndFrame = m_hwndContainer = m_hwndViewer = m_hwndSplitter = m_hwndToolbar = nullptr;
        throw std::runtime_error(what);
    };
    // The container: a group box whose procedure is ours, passing on the rest.
    m_hwndContainer = CreateWindowExW(0, L"Button", nullptr,
                                      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | BS_GROUPBOX, 0, 0,
                                      0, 0, m_hwndFrame, nullptr, inst, nullptr);
    if (!m_hwndContainer)
        fail("viewer container");
    SetWindowLongPtrW(m_hwndContainer, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_buttonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_hwndContainer, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ContainerProc)));
    if (!m_zoom.Create(m_hwndContainer))
        fail("viewer zoom toolbar");
    m_hwndToolbar = m_zoom.Rebar();

    m_hwndViewer = CreateWindowExW(0, kViewerClass, L"DurnhelmViewer",
                                   WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_HSCROLL | WS_VSCROLL, 0,
                                   kZoomBandHeight, 0, 0, m_hwndContainer, nullptr, inst, nullptr);
    if (!m_hwndViewer)
        fail("viewer window");
    SetWindowLongPtrW(m_hwndViewer, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_painting = true;
    SetLastError(0);
    m_nextClipboardViewer = SetClipboardViewer(m_hwndViewer);

    m_hwndSplitter = CreateWindowExW(0, kSplitterClass, L"SizeTracker", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                     m_hwndFrame, nullptr, inst, nullptr);
    if (!m_hwndSplitter)
        fail("viewer splitter");
    SetWindowLongPtrW(m_hwndSplitter, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Layout();
    UpdateZoomDisplay();
}

void TechnicianGUI::AttachConnection(ClientConnection* conn)
{
    m_conn = conn;
    if (!conn)
        return;
    conn->Options().colourDepth = m_options.colourDepth;
    const ViewerDisplayRecord& d = m_options.display;
    conn->Scale() = viewer::ViewScale(d.scaling, d.fitToWindow, d.scaleNum, d.scaleDen);
    conn->SetWindows(m_hwndFrame, m_hwndViewer);
}

bool TechnicianGUI::HasPicture() const
{
    return m_conn && m_conn->Connected() && m_conn->Framebuffer();
}

void TechnicianGUI::SaveOptions()
{
    // The live display state, however the session ended.
    if (m_conn) {
        const viewer::ViewScale& s = m_conn->Scale();
        m_options.colourDepth = m_conn->Options().colourDepth;
        m_options.display.scaling = s.scaling();
        m_options.display.fitToWindow = s.fitToWindow();
        m_options.display.scaleNum = s.numerator();
        m_options.display.scaleDen = s.denominator();
    }
    m_options.Save();
}

void TechnicianGUI::Layout()
{
    if (!m_hwndFrame || !m_hwndContainer)
        return;
    RECT rc;
    GetClientRect(m_hwndFrame, &rc);
    // The splitter keeps the frame's right edge for a docked panel's divider;
    // full screen gives the picture the whole screen.
    const int splitter = m_fullScreen ? 0 : kSplitterWidth;
    const int width = std::max<int>(0, rc.right - splitter);
    MoveWindow(m_hwndContainer, 0, 0, width, rc.bottom, TRUE);
    if (m_hwndSplitter)
        MoveWindow(m_hwndSplitter, width, 0, splitter, rc.bottom, TRUE);
}

void TechnicianGUI::LayoutContainer()
{
    RECT rc;
    GetClientRect(m_hwndContainer, &rc);
    const int band = m_zoom.Layout(rc.right, !m_fullScreen);
    if (m_hwndViewer)
        MoveWindow(m_hwndViewer, 0, band, rc.right, std::max<int>(0, rc.bottom - band), TRUE);
}

LRESULT CALLBACK TechnicianGUI::FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (auto* gui = Owner<TechnicianGUI>(hwnd))
        return gui->OnFrameMessage(hwnd, msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TechnicianGUI::ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (auto* gui = Owner<TechnicianGUI>(hwnd))
        return gui->OnContainerMessage(hwnd, msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TechnicianGUI::ViewerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (auto* gui = Owner<TechnicianGUI>(hwnd))
        return gui->OnViewerMessage(hwnd, msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TechnicianGUI::SplitterProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg != WM_PAINT)
        return DefWindowProcW(hwnd, msg, wp, lp);
    // The divider: a light line and a shadow line down both edges.
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    RECT light{rc.left, rc.top, rc.left + 1, rc.bottom};
    FillRect(dc, &light, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
    RECT shadow{rc.right - 1, rc.top, rc.right, rc.bottom};
    FillRect(dc, &shadow, GetSysColorBrush(COLOR_BTNSHADOW));
    EndPaint(hwnd, &ps);
    return 0;
}
