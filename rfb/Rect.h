// Points and rectangles of screen coordinates. A rectangle holds its top-left
// corner and excludes its bottom-right corner; it is empty unless
// left < right and top < bottom.
#pragma once

#include <cstdint>

namespace rfb {

struct Point {
    int x = 0;
    int y = 0;

    Point() = default;
    Point(int x_, int y_) : x(x_), y(y_) {}
    Point translate(const Point& d) const { return Point(x + d.x, y + d.y); }
    Point negate() const { return Point(-x, -y); }
    bool equals(const Point& p) const { return x == p.x && y == p.y; }
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    Rect() = default;
    Rect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}

    bool is_empty() const { return left >= right || top >= bottom; }
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    // Width times height, 0 for an empty rectangle.
    uint64_t area() const
    {
        return is_empty() ? 0 : static_cast<uint64_t>(static_cast<int64_t>(right) - left) *
                                    static_cast<uint64_t>(static_cast<int64_t>(bottom) - top);
    }
    Rect translate(const Point& d) const { return Rect(left + d.x, top + d.y, right + d.x, bottom + d.y); }
    // The larger left and top, the smaller right and bottom; may be empty.
    Rect intersect(const Rect& r) const
    {
        return Rect(left > r.left ? left : r.left, top > r.top ? top : r.top, right < r.right ? right : r.right,
                    bottom < r.bottom ? bottom : r.bottom);
    }
    bool enclosed_by(const Rect& r) const
    {
        return left >= r.left && top >= r.top && right <= r.right && bottom <= r.bottom;
    }
    bool overlaps(const Rect& r) const { return !intersect(r).is_empty(); }
    bool equals(const Rect& r) const
    {
        return left == r.left && top == r.top && right == r.right && bottom == r.bottom;
    }
    bool operator==(const Rect& r) const { return equals(r); }
    bool operator!=(const Rect& r) const { return !equals(r); }
};

} // namespace rfb
