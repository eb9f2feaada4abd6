#include "Customer/capture/ClipboardWatch.h"

#include "Customer/encode/HostLog.h"
#include "core/base/WinHandle.h"
#include "rfb/ClipboardAccess_win.h"
#include "rfb/ClipboardText.h"

namespace {

const wchar_t kClassName[] = L"Corvisk clipboard watch";

} // namespace

ClipboardWatch::ClipboardWatch(Sink sink) : m_sink(std::move(sink))
{
    WinHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready)
        return;
    HANDLE event = ready.get();
    m_thread = std::thread([this, event] { Run(event); });
    // The thread sets the event on every path, window made or not.
    WaitForSingleObject(event, INFINITE);
}

ClipboardWatch::~ClipboardWatch()
{
    if (!m_thread.joinable())
        return;
    // Without a window the thread has already returned.
    if (HWND hwnd = m_hwnd.load())
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    m_thread.join();
}

void ClipboardWatch::Run(HANDLE ready)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);  // fails harmlessly once registered
    HWND hwnd = CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, this);
    if (!hwnd) {
        HostLog(kHostLogError, "failed to create clipboard window(%lu)\n", GetLastError());
        SetEvent(ready);
        return;
    }
    m_hwnd.store(hwnd);
    SetEvent(ready);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

LRESULT CALLBACK ClipboardWatch::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    auto* self = reinterpret_cast<ClipboardWatch*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_CREATE:
        self->m_next = SetClipboardViewer(hwnd);
        return 0;
    case WM_DRAWCLIPBOARD:
        self->OnDrawClipboard(hwnd);
        if (self->m_next)
            SendMessageW(self->m_next, msg, wp, lp);
        return 0;
    case WM_CHANGECBCHAIN:
        if (reinterpret_cast<HWND>(wp) == self->m_next)
            self->m_next = reinterpret_cast<HWND>(lp);
        else if (self->m_next)
            SendMessageW(self->m_next, msg, wp, lp);
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        ChangeClipboardChain(hwnd, self->m_next);
        self->m_next = nullptr;
        self->m_hwnd.store(nullptr);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void ClipboardWatch::OnDrawClipboard(HWND hwnd)
{
    // Joining the chain brings one notification of what was already there.
    const bool initial = !m_initialSeen;
    m_initialSeen = true;
    if (initial || GetClipboardOwner() == hwnd)
        return;
    std::string text;
    switch (ReadClipboardText(hwnd, text)) {
    case ClipboardRead::Text:
        if (m_sink)
            m_sink(text);
        break;
    case ClipboardRead::TooLong:
        HostLog(kHostLogWarn, "clipboard text over %u bytes not sent\n", static_cast<unsigned>(kMaxHostClipText));
        break;
    case ClipboardRead::NoText:
    case ClipboardRead::Busy:
        break;
    }
}

bool ClipboardWatch::SetTextAs(HWND hwnd, const std::string& viewerText)
{
    if (PutClipboardText(hwnd, viewerText))
        return true;
    HostLog(kHostLogWarn, "clipboard could not be set(%lu)\n", GetLastError());
    return false;
}
