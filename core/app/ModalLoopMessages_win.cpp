#include "core/app/ModalLoopMessages_win.h"

#include "core/base/DHLog.h"

#include <algorithm>
#include <utility>

namespace {

thread_local ModalLoopMessages* t_current = nullptr;

} // namespace

ModalLoopMessages::ModalLoopMessages(std::vector<UINT> endingMessages)
    : m_ending(std::move(endingMessages)), m_outer(t_current)
{
    m_hook = SetWindowsHookExW(WH_MSGFILTER, Filter, nullptr, GetCurrentThreadId());
    if (!m_hook)
        DHLog::Instance().Print(0x04, 1, false, "The modal loops' message filter could not be set (%lu).\n",
                                GetLastError());
    t_current = this;
}

ModalLoopMessages::~ModalLoopMessages()
{
    t_current = m_outer;
    if (m_hook)
        UnhookWindowsHookEx(m_hook);
}

bool ModalLoopMessages::Take(MSG& msg)
{
    if (m_kept.empty())
        return false;
    msg = m_kept.front();
    m_kept.pop_front();
    if (m_quitPosted && std::find(m_ending.begin(), m_ending.end(), msg.message) != m_ending.end()) {
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        m_quitPosted = false;
    }
    return true;
}

bool ModalLoopMessages::Keep(const MSG& msg)
{
    // The program's thread messages only: system ones with no window (a
    // thread timer's callback) still go to the modal loop's dispatch.
    if (msg.hwnd != nullptr || msg.message < WM_USER)
        return false;
    m_kept.push_back(msg);
    if (!m_quitPosted && std::find(m_ending.begin(), m_ending.end(), msg.message) != m_ending.end()) {
        PostQuitMessage(0);
        m_quitPosted = true;
    }
    return true;
}

LRESULT CALLBACK ModalLoopMessages::Filter(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0 && t_current && t_current->Keep(*reinterpret_cast<const MSG*>(lParam)))
        return TRUE;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
