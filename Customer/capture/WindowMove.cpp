#include "Customer/capture/WindowMove.h"

bool ComputeMoveCopy(const rfb::Rect& before, const rfb::Rect& after, const rfb::Rect& clip, MoveCopy& copy)
{
    if (before.is_empty() || after.is_empty())
        return false;
    const rfb::Point delta(after.left - before.left, after.top - before.top);
    if (delta.x == 0 && delta.y == 0)
        return false;
    const rfb::Rect dest = after.intersect(clip);
    if (dest.is_empty())
        return false;
    // The source must lie in the frame too: what was outside it was never
    // captured and cannot be copied.
    const rfb::Rect source = dest.translate(delta.negate()).intersect(clip);
    if (source.is_empty())
        return false;
    copy.dest = source.translate(delta);
    copy.delta = delta;
    return true;
}

bool WindowMoveDetector::Update(uintptr_t window, bool visible, bool haveRect, const rfb::Rect& rect,
                                const rfb::Rect& clip, MoveCopy& copy)
{
    if (window != m_window) {
        m_window = window;
        m_rect = (visible && haveRect) ? rect : rfb::Rect();
        return false;
    }
    if (!window || !visible || !haveRect) {
        m_rect = rfb::Rect();
        return false;
    }
    const rfb::Rect before = m_rect;
    m_rect = rect;
    return ComputeMoveCopy(before, rect, clip, copy);
}
