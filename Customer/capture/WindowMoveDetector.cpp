#include "Customer/capture/WindowMoveDetector.h"

bool WindowMoveDetector::Detect(DesktopWindows::Window w, bool haveRect, const rfb::Rect& rect,
                                const rfb::Rect& bounds, WindowCopy& out)
{
    const rfb::Rect now = haveRect ? rect : rfb::Rect();
    if (w != m_window) {
        m_window = w;
        m_rect = now;
        return false;
    }
    const rfb::Rect before = m_rect;
    m_rect = now;
    if (!w || before.is_empty() || now.is_empty())
        return false;
    const rfb::Point delta(now.left - before.left, now.top - before.top);
    if (delta.x == 0 && delta.y == 0)
        return false;
    const rfb::Rect source = now.intersect(bounds).translate(delta.negate()).intersect(bounds);
    if (source.is_empty())
        return false;
    out.dest = source.translate(delta);
    out.delta = delta;
    out.previous = before;
    return true;
}
