#include "rfb/SimpleUpdateTracker.h"

namespace rfb {

namespace {

// A copy moving content right must be applied right to left, one moving it
// down bottom to top, so that no source pixel is overwritten before use.
void listCopied(const Region& copied, const Point& delta, std::vector<Rect>& out)
{
    copied.get_rects(&out, delta.x <= 0, delta.y <= 0);
}

} // namespace

void SimpleUpdateTracker::add_changed(const Region& region)
{
    m_changed.assign_union(region);
}

void SimpleUpdateTracker::add_cached(const Region& region)
{
    m_cached.assign_union(region);
}

void SimpleUpdateTracker::add_copied(const Region& dest, const Point& delta)
{
    if (!m_copyEnabled) {
        add_changed(dest);
        return;
    }
    if (dest.is_empty())
        return;

    Region src = dest;
    src.translate(delta.negate());
    const Region overlap = src.intersect(m_copied);

    if (overlap.is_empty()) {
        // Only one copy can be pending: keep the larger of the two.
        const uint64_t oldArea = m_copied.get_bounding_rect().area();
        const uint64_t newArea = dest.get_bounding_rect().area();
        if (oldArea > newArea && !m_copied.is_empty()) {
            m_changed.assign_union(dest);
            return;
        }
        // Source pixels the viewer has not been sent yet arrive stale at the
        // destination; they go out as pixels.
        Region invalid = src.intersect(m_changed);
        invalid.translate(delta);
        m_changed.assign_union(invalid);
        m_changed.assign_union(m_copied);
        m_copied = dest.subtract(invalid);
        m_copyDelta = delta;
        return;
    }

    // The copy moves content an earlier copy already moved: chain the two
    // for the part whose source is still valid, the rest becomes changed.
    Region valid = overlap.subtract(m_changed);
    valid.translate(delta);
    m_changed = m_changed.union_(m_copied).union_(dest).subtract(valid);
    m_copied = valid;
    m_copyDelta = m_copyDelta.translate(delta);
}

void SimpleUpdateTracker::flush_to(UpdateTracker& to) const
{
    if (!m_copied.is_empty())
        to.add_copied(m_copied, m_copyDelta);
    if (!m_changed.is_empty())
        to.add_changed(m_changed);
    if (!m_cached.is_empty())
        to.add_cached(m_cached);
}

void SimpleUpdateTracker::flush_to_clipped(UpdateTracker& to, const Region& clip)
{
    const Region copied = m_copied.intersect(clip);
    const Region changed = m_changed.intersect(clip);
    const Region cached = m_cached.intersect(clip);
    m_copied.assign_subtract(copied);
    m_changed.assign_subtract(changed);
    m_cached.assign_subtract(cached);
    if (!copied.is_empty())
        to.add_copied(copied, m_copyDelta);
    if (!changed.is_empty())
        to.add_changed(changed);
    if (!cached.is_empty())
        to.add_cached(cached);
}

void SimpleUpdateTracker::get_update(UpdateInfo& info) const
{
    info.cached.clear();
    info.copied.clear();
    info.changed.clear();
    info.copy_delta = m_copyDelta;
    listCopied(m_copied.subtract(m_changed), m_copyDelta, info.copied);
    m_cached.get_rects(&info.cached);
    m_changed.get_rects(&info.changed);
}

void SimpleUpdateTracker::get_update_clipped(UpdateInfo& info, const Region& clip)
{
    m_copied.assign_subtract(m_changed);
    info.cached.clear();
    info.copied.clear();
    info.changed.clear();

    const Region changed = m_changed.intersect(clip);
    changed.get_rects(&info.changed);
    m_changed.assign_subtract(changed);

    const Region copied = m_copied.intersect(clip);
    listCopied(copied, m_copyDelta, info.copied);
    m_copied.assign_subtract(copied);

    const Region cached = m_cached.intersect(clip);
    cached.get_rects(&info.cached);
    m_cached.assign_subtract(cached);

    info.copy_delta = m_copyDelta;
}

bool SimpleUpdateTracker::is_empty() const
{
    return m_changed.is_empty() && m_cached.is_empty() && m_copied.is_empty();
}

void SimpleUpdateTracker::clear()
{
    m_changed.clear();
    m_cached.clear();
    m_copied.clear();
}

} // namespace rfb
