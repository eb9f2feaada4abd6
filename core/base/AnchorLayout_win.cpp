#include "core/base/AnchorLayout_win.h"

void CAnchorLayout::Attach(HWND parent, int designWidth, int designHeight)
{
    m_parent = parent;
    RECT client{};
    GetClientRect(parent, &client);
    m_reference = {client.left, client.top, client.left + designWidth, client.top + designHeight};
}

void CAnchorLayout::AddControl(HWND child, int flags, const RECT& rect)
{
    m_entries.push_back({child, flags, rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top,
                         m_reference.right - rect.right, m_reference.bottom - rect.bottom});
}

void CAnchorLayout::FitAxis(bool nearAnchor, bool farAnchor, int extent, int& start, int& size, int& farGap)
{
    if (farAnchor && nearAnchor)
        size = extent - start - farGap;
    else if (farAnchor)
        start = extent - size - farGap;
    else
        farGap = extent - size - start;
}

void CAnchorLayout::Relayout()
{
    if (!m_parent)
        return;
    GetClientRect(m_parent, &m_reference);
    const int width = m_reference.right - m_reference.left;
    const int height = m_reference.bottom - m_reference.top;
    HDWP batch = BeginDeferWindowPos(static_cast<int>(m_entries.size()));
    for (Entry& e : m_entries) {
        if (!e.window)
            continue;
        FitAxis(e.flags & ANCHOR_LEFT, e.flags & ANCHOR_RIGHT, width, e.left, e.width, e.rightGap);
        FitAxis(e.flags & ANCHOR_TOP, e.flags & ANCHOR_BOTTOM, height, e.top, e.height, e.bottomGap);
        if (batch)
            batch = DeferWindowPos(batch, e.window, nullptr, e.left, e.top, e.width, e.height,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        else
            SetWindowPos(e.window, nullptr, e.left, e.top, e.width, e.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (batch)
        EndDeferWindowPos(batch);
}
