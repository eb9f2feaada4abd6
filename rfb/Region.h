// A set of pixels held as a banded list of non-overlapping rectangles: sorted
// into bands from top to bottom, each band one run of rows whose rectangles
// share top and bottom and run left to right without touching; adjacent bands
// with the same columns are merged. This is the form, and these are the
// results, of the X Window System's region operations, with 32-bit coordinates
// so that nothing wraps around.
#pragma once

#include "rfb/Rect.h"

#include <cstddef>
#include <vector>

namespace rfb {

class Region {
public:
    Region() = default;
    explicit Region(const Rect& r);
    Region(const Region&) = default;
    Region(Region&&) noexcept = default;
    Region& operator=(const Region&) = default;
    Region& operator=(Region&&) noexcept = default;

    void clear() { m_boxes.clear(); }
    // The region becomes exactly r.
    void reset(const Rect& r);
    void translate(const Point& delta);

    Region intersect(const Region& other) const;
    Region union_(const Region& other) const;
    Region subtract(const Region& other) const;

    // In place, reusing this region's storage.
    void assign_intersect(const Region& other);
    void assign_union(const Region& other);
    void assign_subtract(const Region& other);

    bool is_empty() const { return m_boxes.empty(); }
    bool equals(const Region& other) const;
    size_t numRects() const { return m_boxes.size(); }

    // Appends the rectangles band by band: top band first when topdown, and
    // left to right within a band when left2right. These orders let copies
    // be applied in place. Returns false when rects is empty afterwards.
    bool get_rects(std::vector<Rect>* rects, bool left2right = true, bool topdown = true) const;
    // Smallest rectangle holding the region; (0, 0, 0, 0) when it is empty.
    Rect get_bounding_rect() const;

private:
    std::vector<Rect> m_boxes;
};

} // namespace rfb
