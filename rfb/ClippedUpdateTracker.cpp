#include "rfb/ClippedUpdateTracker.h"

namespace rfb {

void ClippedUpdateTracker::add_changed(const Region& region)
{
    m_child.add_changed(region.intersect(m_clip));
}

void ClippedUpdateTracker::add_cached(const Region& region)
{
    m_child.add_cached(region.intersect(m_clip));
}

void ClippedUpdateTracker::add_copied(const Region& dest, const Point& delta)
{
    const Region clipdest = dest.intersect(m_clip);
    if (clipdest.is_empty())
        return;

    // The part whose source also lies inside the clip stays a copy.
    Region tmp = clipdest;
    tmp.translate(delta.negate());
    tmp.assign_intersect(m_clip);
    if (!tmp.is_empty()) {
        tmp.translate(delta);
        m_child.add_copied(tmp, delta);
    }
    const Region rest = clipdest.subtract(tmp);
    if (!rest.is_empty())
        m_child.add_changed(rest);
}

} // namespace rfb
