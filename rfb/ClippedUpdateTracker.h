// Tracker that passes on only what lies inside its clip region (the shared
// area) to a child tracker. A copy whose source lies outside the clip cannot
// be applied by the viewer and is passed on as changed instead.
#pragma once

#include "rfb/UpdateTracker.h"

namespace rfb {

class ClippedUpdateTracker : public UpdateTracker {
public:
    ClippedUpdateTracker(UpdateTracker& child, const Region& clip = Region()) : m_child(child), m_clip(clip) {}

    void add_changed(const Region& region) override;
    void add_cached(const Region& region) override;
    void add_copied(const Region& dest, const Point& delta) override;
    virtual void set_clip_region(const Region& clip) { m_clip = clip; }

private:
    UpdateTracker& m_child;
    Region m_clip;
};

} // namespace rfb
