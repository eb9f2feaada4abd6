#include "meeting/PartiMark.h"

#include "core/base/AppWindows.h"
#include "core/base/DHLog.h"
#include "core/base/MeetingContext.h"
#include "core/base/TextConvert.h"
#include "core/base/WindowUtil.h"
#include "meeting/ChatResources.h"

#include <commctrl.h>

namespace {

// To a marker window, from any thread: wParam x, lParam y (as ints).
constexpr UINT WM_MARK_MOVE = WM_APP + 0x35;
// To a marker window: its thread ends.
constexpr UINT WM_MARK_QUIT = WM_APP + 0x36;
constexpr unsigned kJoinMs = 2000;

HINSTANCE Module()
{
    return GetModuleHandleW(nullptr);
}

// Client point (31, 31) of the marker on the screen.
POINT TipPoint(HWND window)
{
    POINT p{PartiMark::kTipX, PartiMark::kTipY};
    ClientToScreen(window, &p);
    return p;
}

bool OnSomeScreen(int x, int y)
{
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return x >= left && y >= top && x < left + width && y < top + height;
}

} // namespace

PartiMark::PartiMark(MeetingContext* meeting) : m_meeting(meeting)
{
    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageW(Module(), MAKEINTRESOURCEW(IDB_PARTI_MARK), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!picture) {
        DHLog::Instance().Print(0x80, 1, false, "The participant mark's picture could not be loaded (%lu).\n",
                                GetLastError());
        return;
    }
    BITMAP info{};
    GetObjectW(picture, sizeof(info), &info);
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(header.bmiHeader);
    header.bmiHeader.biWidth = info.bmWidth;
    header.bmiHeader.biHeight = -info.bmHeight;  // top-down
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, picture, 0, static_cast<UINT>(info.bmHeight), pixels.data(), &header,
                               DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(picture);
    if (rows != info.bmHeight)
        return;
    m_pixels = std::move(pixels);
    m_width = info.bmWidth;
    m_height = info.bmHeight;
    m_shape = OpaqueRuns(m_pixels.data(), m_width, m_height);
}

PartiMark::~PartiMark()
{
    RemoveAllMarks();
}

bool PartiMark::SendMark(int x, int y, const std::wstring& name)
{
    const std::string text = BuildMarkText(x, y, WideToAnsi(name, kCodePageUtf8));
    if (text.empty() || !m_meeting)
        return false;
    return m_meeting->SendPartiMarkMessage(text);
}

void PartiMark::OnRecvMark(const char* text)
{
    if (!text)
        return;
    const std::optional<MarkPoint> mark = ParseMarkText(text);
    if (!mark) {
        DHLog::Instance().Print(0x80, 2, false, "A participant mark that could not be read was dropped.\n");
        return;
    }
    if (!OnSomeScreen(mark->x, mark->y)) {
        DHLog::Instance().Print(0x80, 2, false, "A participant mark off every screen (%d, %d) was dropped.\n", mark->x,
                                mark->y);
        return;
    }
    ShowMark(mark->x, mark->y, AnsiToWide(mark->name, kCodePageUtf8));
}

HRGN PartiMark::MakeRegion() const
{
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    for (const PixelRun& run : m_shape) {
        HRGN row = CreateRectRgn(run.x, run.y, run.x + run.width, run.y + 1);
        CombineRgn(region, region, row, RGN_OR);
        DeleteObject(row);
    }
    return region;
}

void PartiMark::Sweep(std::vector<std::shared_ptr<Marker>>& ended)
{
    for (auto it = m_marks.begin(); it != m_marks.end();) {
        if (it->second->ended) {
            ended.push_back(it->second);
            it = m_marks.erase(it);
        } else {
            ++it;
        }
    }
}

void PartiMark::Reap(std::vector<std::shared_ptr<Marker>>& markers)
{
    // A thread that outlived its join keeps its marker: it is never freed
    // under the thread.
    static std::vector<std::shared_ptr<Marker>> left;
    for (auto& marker : markers) {
        if (!marker->thread.Join(kJoinMs)) {
            DHLog::Instance().Print(0x80, 2, false, "A participant mark's thread was left to end by itself.\n");
            left.push_back(std::move(marker));
        }
    }
    markers.clear();
}

void PartiMark::ShowMark(int x, int y, const std::wstring& name)
{
    if (name.empty() || m_pixels.empty())
        return;
    std::vector<std::shared_ptr<Marker>> ended;
    {
        std::lock_guard<std::mutex> l(m_lock);
        Sweep(ended);
        auto it = m_marks.find(name);
        if (it != m_marks.end()) {
            Marker& m = *it->second;
            m.x = x;
            m.y = y;
            // Its own thread moves it and starts its time again; a thread
            // still opening its window takes the new point when it places it.
            if (m.window)
                PostMessageW(m.window, WM_MARK_MOVE, static_cast<WPARAM>(x), static_cast<LPARAM>(y));
        } else if (m_marks.size() >= kMaxMarks) {
            DHLog::Instance().Print(0x80, 2, false, "Too many participant marks at once: one was dropped.\n");
        } else {
            auto marker = std::make_shared<Marker>();
            marker->x = x;
            marker->y = y;
            // Entered before its thread starts, so a second mark of the name
            // finds it.
            m_marks[name] = marker;
            Marker* raw = marker.get();
            if (!marker->thread.Start([this, raw, name] { ThreadProc(raw, name); })) {
                m_marks.erase(name);
                DHLog::Instance().Print(0x80, 1, false, "A participant mark's thread could not start.\n");
            }
        }
    }
    Reap(ended);
}

void PartiMark::ThreadProc(Marker* marker, const std::wstring& name)
{
    auto finish = [&] {
        std::lock_guard<std::mutex> l(m_lock);
        marker->window = nullptr;
        marker->tip = nullptr;
        marker->ended = true;
    };
    HWND window = CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_PARTI_MARK), nullptr, MarkWndProc,
                                     reinterpret_cast<LPARAM>(this));
    if (!window) {
        DHLog::Instance().Print(0x80, 1, false, "A participant mark's window could not be made (%lu).\n", GetLastError());
        finish();
        return;
    }
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, Module(),
                               nullptr);
    if (tip)
        MakeOwnLayeredWindow(tip);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(tip));
    RegisterAppWindow(window);
    int x, y;
    bool quit;
    {
        std::lock_guard<std::mutex> l(m_lock);
        marker->window = window;
        marker->tip = tip;
        x = marker->x;
        y = marker->y;
        quit = marker->quit;
    }
    if (!quit) {
        SetWindowPos(window, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        if (tip) {
            TOOLINFOW tool{};
            tool.cbSize = sizeof(tool);
            tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
            tool.hwnd = window;
            tool.uId = 1;
            tool.lpszText = const_cast<wchar_t*>(name.c_str());
            SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
            SendMessageW(tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
            const POINT at = TipPoint(window);
            SendMessageW(tip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
            SetWindowLongPtrW(tip, GWL_EXSTYLE,
                              GetWindowLongPtrW(tip, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
        }
        SetTimer(window, kMarkTimer, kShowMs, nullptr);
        RunLoop(marker, window);
    }
    finish();
    if (tip)
        DestroyWindow(tip);
    DestroyWindow(window);
}

void PartiMark::RunLoop(Marker* marker, HWND window)
{
    for (;;) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // A mark that came as the time ran out shows again: marks are posted
        // under the lock, so none can come after this look.
        std::lock_guard<std::mutex> l(m_lock);
        MSG late;
        if (!marker->quit && PeekMessageW(&late, window, WM_MARK_MOVE, WM_MARK_MOVE, PM_REMOVE)) {
            DispatchMessageW(&late);
            continue;
        }
        marker->window = nullptr;
        marker->tip = nullptr;
        marker->ended = true;
        return;
    }
}

INT_PTR CALLBACK PartiMark::MarkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<PartiMark*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_INITDIALOG: {
        self = reinterpret_cast<PartiMark*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        SetWindowPos(hwnd, nullptr, 0, 0, self->m_width, self->m_height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetWindowRgn(hwnd, self->MakeRegion(), FALSE);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        if (self) {
            BITMAPINFO header{};
            header.bmiHeader.biSize = sizeof(header.bmiHeader);
            header.bmiHeader.biWidth = self->m_width;
            header.bmiHeader.biHeight = -self->m_height;
            header.bmiHeader.biPlanes = 1;
            header.bmiHeader.biBitCount = 32;
            header.bmiHeader.biCompression = BI_RGB;
            SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(self->m_width), static_cast<DWORD>(self->m_height), 0, 0,
                              0, static_cast<UINT>(self->m_height), self->m_pixels.data(), &header, DIB_RGB_COLORS);
        }
        EndPaint(hwnd, &paint);
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kMarkTimer)
            PostQuitMessage(0);
        return TRUE;
    case WM_MARK_MOVE: {
        KillTimer(hwnd, kMarkTimer);
        SetWindowPos(hwnd, nullptr, static_cast<int>(wParam), static_cast<int>(lParam), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (HWND tip = reinterpret_cast<HWND>(GetWindowLongPtrW(hwnd, DWLP_USER))) {
            const POINT at = TipPoint(hwnd);
            SendMessageW(tip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
        }
        SetTimer(hwnd, kMarkTimer, kShowMs, nullptr);
        return TRUE;
    }
    case WM_MARK_QUIT: PostQuitMessage(0); return TRUE;
    default: return FALSE;
    }
}

void PartiMark::RemoveAllMarks()
{
    std::vector<std::shared_ptr<Marker>> all;
    {
        std::lock_guard<std::mutex> l(m_lock);
        for (auto& entry : m_marks) {
            entry.second->quit = true;
            if (entry.second->window)
                PostMessageW(entry.second->window, WM_MARK_QUIT, 0, 0);
            all.push_back(entry.second);
        }
        m_marks.clear();
    }
    Reap(all);
}

HWND PartiMark::MarkWindow(const std::wstring& name)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto it = m_marks.find(name);
    return it == m_marks.end() ? nullptr : it->second->window;
}

HWND PartiMark::TipWindow(const std::wstring& name)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto it = m_marks.find(name);
    return it == m_marks.end() ? nullptr : it->second->tip;
}

size_t PartiMark::LiveMarks()
{
    std::lock_guard<std::mutex> l(m_lock);
    size_t live = 0;
    for (const auto& entry : m_marks)
        live += entry.second->ended ? 0 : 1;
    return live;
}
