// Collectors of screen changes between capture and sending: changed areas
// (sent as pixels), cached areas (the viewer redraws them from its cache) and
// copied areas (content that moved by a delta, sent as copy rectangles).
#pragma once

#include "rfb/Region.h"

#include <vector>

namespace rfb {

// What one update carries, in sending order within each list.
struct UpdateInfo {
    std::vector<Rect> cached;
    std::vector<Rect> copied;
    Point copy_delta;
    std::vector<Rect> changed;
};

class UpdateTracker {
public:
    virtual ~UpdateTracker() = default;
    virtual void add_changed(const Region& region) = 0;
    virtual void add_cached(const Region& region) = 0;
    // dest: where the content now is; delta: destination minus source.
    virtual void add_copied(const Region& dest, const Point& delta) = 0;
};

} // namespace rfb
