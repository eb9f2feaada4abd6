#include "Customer/capture/SharedArea.h"

#include "Customer/encode/HostLog.h"

void DisplaySelection::SelectFirst()
{
    m_onlyFirst = true;
    m_requested = kDisplayFirst;
    m_window = 0;
}

void DisplaySelection::DropWindow()
{
    m_window = 0;
}

int DisplaySelection::SetSW(int x, int y, const std::function<PointTarget()>& resolve)
{
    HostLog(kHostLogDebugInfo, "SETW %i %i\n", x, y);
    if (x >= -4 && x <= 5 && y >= -4 && y <= 5) {
        if (SeveralAllowed() && m_requested == kDisplaySecond) {
            SelectFirst();
            return 0;
        }
        if (SeveralAllowed() && m_requested == kDisplayAll)
            return 1;
        m_onlyFirst = false;
        m_requested = kDisplaySecond;
        m_window = 0;
        return 0;
    }
    if (x == 6 && y == 6) {
        if (SeveralAllowed() && m_requested == kDisplayAll) {
            SelectFirst();
            return 0;
        }
        m_onlyFirst = false;
        m_requested = kDisplayAll;
        m_window = 0;
        return 0;
    }
    const PointTarget target = resolve();
    switch (target.kind) {
    case PointTarget::Kind::Nothing:
        m_window = 0;
        break;
    case PointTarget::Kind::Desktop:
        if (target.primaryDisplay) {
            SelectFirst();
        } else {
            m_onlyFirst = false;
            m_requested = kDisplaySecond;
            m_window = 0;
        }
        break;
    case PointTarget::Kind::Window:
        m_window = target.topLevel;
        break;
    }
    return 0;
}

SharedWindowCheck SharedWindowTracker::Check(const WindowState& w, const rfb::Rect& screen, const rfb::Rect& taskbar)
{
    SharedWindowCheck ended;
    ended.rect = screen;
    if (!w.exists || w.iconic || !w.visible || !w.haveRect || w.rect.is_empty()) {
        Reset();
        return ended;
    }
    // Off the screen is judged on the window's own rectangle: once clamped
    // it would always lie inside.
    const bool outside = !w.rect.enclosed_by(screen);
    const rfb::Rect r = w.rect.intersect(screen);
    if (r == screen || outside || r.width() < kMinWidth || r.height() < kMinHeight) {
        Reset();
        return ended;
    }
    SharedWindowCheck keep;
    keep.keep = true;
    keep.rect = (!taskbar.is_empty() && r == taskbar.intersect(screen)) ? taskbar.intersect(screen) : r;
    keep.sizeChanged = keep.rect.width() != m_lastW || keep.rect.height() != m_lastH;
    m_lastW = keep.rect.width();
    m_lastH = keep.rect.height();
    return keep;
}
