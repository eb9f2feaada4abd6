#include "Customer/capture/PollGrid.h"

#include <algorithm>

rfb::Point PollGrid::SamplePoint(const rfb::Rect& rect, int tileLeft, int tileTop, int phase)
{
    const int right = std::min(tileLeft + kTile, rect.right) - 1;
    const int bottom = std::min(tileTop + kTile, rect.bottom) - 1;
    return rfb::Point(std::min(tileLeft + 4 * phase, right), std::min(tileTop + 4 * phase, bottom));
}

rfb::Region PollGrid::NextSampleRows(const rfb::Rect& rect) const
{
    rfb::Region rows;
    for (int top = rect.top; top < rect.bottom; top += kTile) {
        const int y = SamplePoint(rect, rect.left, top, m_phase).y;
        rows.assign_union(rfb::Region(rfb::Rect(rect.left, y, rect.right, y + 1)));
    }
    return rows;
}

void PollGrid::Clear()
{
    for (Samples& s : m_lists) {
        s.rect = rfb::Rect();
        s.values.clear();
    }
    m_phase = 0;
}

void PollGrid::Poll(const rfb::Rect& rect, const std::function<uint32_t(int, int)>& read,
                    const std::function<uint32_t(int, int)>& sent, const std::function<void(int, int)>& changed)
{
    Samples& list = m_lists[m_phase];
    const int phase = m_phase;
    m_phase = (m_phase + 1) % kPhases;
    if (rect.is_empty())
        return;
    const size_t cols = static_cast<size_t>((rect.width() + kTile - 1) / kTile);
    const size_t rows = static_cast<size_t>((rect.height() + kTile - 1) / kTile);
    // A list made for another rectangle says nothing about this one.
    const bool fill = !(list.rect == rect) || list.values.size() != cols * rows;
    if (fill) {
        list.rect = rect;
        list.values.assign(cols * rows, 0);
    }
    size_t i = 0;
    for (int top = rect.top; top < rect.bottom; top += kTile) {
        for (int left = rect.left; left < rect.right; left += kTile, ++i) {
            const rfb::Point p = SamplePoint(rect, left, top, phase);
            const uint32_t v = read(p.x, p.y);
            if (v != (fill ? sent(p.x, p.y) : list.values[i]))
                changed(p.x, p.y);
            list.values[i] = v;
        }
    }
}

void ChangedWindows::MarkAt(int x, int y)
{
    for (const rfb::Rect& r : m_covered)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
            return;
    const DesktopWindows::Window w = m_windows.TopLevelAt(x, y);
    if (w)
        Mark(w);
}

void ChangedWindows::Mark(DesktopWindows::Window w)
{
    if (std::find(m_seen.begin(), m_seen.end(), w) != m_seen.end())
        return;
    m_seen.push_back(w);
    rfb::Rect r;
    if (!m_windows.VisibleRect(w, r))
        return;
    r = r.intersect(m_clip);
    if (!r.is_empty()) {
        m_region.assign_union(rfb::Region(r));
        m_covered.push_back(r);
    }
}
