#include "rfb/Region.h"

#include <algorithm>
#include <climits>

namespace rfb {

namespace {

enum class Op { Union, Intersect, Subtract };

// Index one past the band that starts at i.
size_t bandEnd(const std::vector<Rect>& boxes, size_t i)
{
    const int top = boxes[i].top;
    size_t j = i + 1;
    while (j < boxes.size() && boxes[j].top == top)
        ++j;
    return j;
}

// Builds the result band by band, splitting the rows wherever a band of
// either operand starts or ends, and merging each new band into the one
// above when they touch and hold the same columns.
class BandWriter {
public:
    explicit BandWriter(std::vector<Rect>& out) : m_out(out) {}

    // Combines the columns of one band of each operand over rows [top,
    // bottom). Either side may be empty (na or nb 0) where only one operand
    // covers the rows.
    void add(Op op, int top, int bottom, const Rect* a, size_t na, const Rect* b, size_t nb)
    {
        if (top >= bottom)
            return;
        const size_t start = m_out.size();
        switch (op) {
        case Op::Union:
            unite(top, bottom, a, na, b, nb, start);
            break;
        case Op::Intersect:
            intersect(top, bottom, a, na, b, nb);
            break;
        case Op::Subtract:
            subtract(top, bottom, a, na, b, nb);
            break;
        }
        finishBand(start, top, bottom);
    }

private:
    void push(int x1, int top, int x2, int bottom) { m_out.push_back(Rect(x1, top, x2, bottom)); }

    void unite(int top, int bottom, const Rect* a, size_t na, const Rect* b, size_t nb, size_t start)
    {
        size_t i = 0, j = 0;
        while (i < na || j < nb) {
            const Rect& r = (j >= nb || (i < na && a[i].left <= b[j].left)) ? a[i++] : b[j++];
            if (m_out.size() > start && r.left <= m_out.back().right) {
                if (r.right > m_out.back().right)
                    m_out.back().right = r.right;
            } else {
                push(r.left, top, r.right, bottom);
            }
        }
    }

    void intersect(int top, int bottom, const Rect* a, size_t na, const Rect* b, size_t nb)
    {
        size_t i = 0, j = 0;
        while (i < na && j < nb) {
            const int x1 = std::max(a[i].left, b[j].left);
            const int x2 = std::min(a[i].right, b[j].right);
            if (x1 < x2)
                push(x1, top, x2, bottom);
            if (a[i].right < b[j].right)
                ++i;
            else if (b[j].right < a[i].right)
                ++j;
            else {
                ++i;
                ++j;
            }
        }
    }

    void subtract(int top, int bottom, const Rect* a, size_t na, const Rect* b, size_t nb)
    {
        size_t j = 0;
        for (size_t i = 0; i < na; ++i) {
            int cur = a[i].left;
            const int end = a[i].right;
            while (j < nb && b[j].right <= cur)
                ++j;
            for (size_t k = j; k < nb && b[k].left < end && cur < end; ++k) {
                if (b[k].left > cur)
                    push(cur, top, b[k].left, bottom);
                cur = std::max(cur, b[k].right);
            }
            if (cur < end)
                push(cur, top, end, bottom);
        }
    }

    void finishBand(size_t start, int top, int bottom)
    {
        const size_t n = m_out.size() - start;
        if (n == 0)
            return;
        if (m_prevBand < start && m_out[m_prevBand].bottom == top && start - m_prevBand == n) {
            bool same = true;
            for (size_t k = 0; k < n && same; ++k)
                same = m_out[m_prevBand + k].left == m_out[start + k].left &&
                       m_out[m_prevBand + k].right == m_out[start + k].right;
            if (same) {
                for (size_t k = m_prevBand; k < start; ++k)
                    m_out[k].bottom = bottom;
                m_out.resize(start);
                return;
            }
        }
        m_prevBand = start;
    }

    std::vector<Rect>& m_out;
    size_t m_prevBand = SIZE_MAX;
};

// Writes the result into out, which must be neither a nor b.
void regionOp(Op op, const std::vector<Rect>& a, const std::vector<Rect>& b, std::vector<Rect>& out)
{
    out.clear();
    out.reserve(a.size() + b.size());
    BandWriter writer(out);
    // Rows above ylo are done.
    int ylo = INT_MIN;
    size_t ia = 0, ib = 0;
    const bool keepAOnly = op != Op::Intersect;
    const bool keepBOnly = op == Op::Union;

    size_t ea = a.empty() ? 0 : bandEnd(a, 0), eb = b.empty() ? 0 : bandEnd(b, 0);
    while (ia < a.size() && ib < b.size()) {
        const int aTop = std::max(a[ia].top, ylo), bTop = std::max(b[ib].top, ylo);
        const int aBot = a[ia].bottom, bBot = b[ib].bottom;
        if (aTop < bTop) {
            const int bot = std::min(aBot, bTop);
            if (keepAOnly)
                writer.add(op, aTop, bot, &a[ia], ea - ia, nullptr, 0);
            ylo = bot;
        } else if (bTop < aTop) {
            const int bot = std::min(bBot, aTop);
            if (keepBOnly)
                writer.add(op, bTop, bot, nullptr, 0, &b[ib], eb - ib);
            ylo = bot;
        } else {
            const int bot = std::min(aBot, bBot);
            writer.add(op, aTop, bot, &a[ia], ea - ia, &b[ib], eb - ib);
            ylo = bot;
        }
        if (aBot <= ylo) {
            ia = ea;
            if (ia < a.size())
                ea = bandEnd(a, ia);
        }
        if (bBot <= ylo) {
            ib = eb;
            if (ib < b.size())
                eb = bandEnd(b, ib);
        }
    }
    for (; keepAOnly && ia < a.size(); ia = ea) {
        ea = bandEnd(a, ia);
        writer.add(op, std::max(a[ia].top, ylo), a[ia].bottom, &a[ia], ea - ia, nullptr, 0);
    }
    for (; keepBOnly && ib < b.size(); ib = eb) {
        eb = bandEnd(b, ib);
        writer.add(op, std::max(b[ib].top, ylo), b[ib].bottom, nullptr, 0, &b[ib], eb - ib);
    }
}

// Per-thread buffer the in-place operations build into and then swap with,
// so a region grown one rectangle at a time reuses two buffers instead of
// allocating a fresh one for every step.
std::vector<Rect>& scratch()
{
    thread_local std::vector<Rect> buffer;
    return buffer;
}

} // namespace

Region::Region(const Rect& r)
{
    reset(r);
}

void Region::reset(const Rect& r)
{
    m_boxes.clear();
    if (!r.is_empty())
        m_boxes.push_back(r);
}

void Region::translate(const Point& delta)
{
    for (Rect& r : m_boxes)
        r = r.translate(delta);
}

Region Region::intersect(const Region& other) const
{
    Region result;
    if (!is_empty() && !other.is_empty())
        regionOp(Op::Intersect, m_boxes, other.m_boxes, result.m_boxes);
    return result;
}

Region Region::union_(const Region& other) const
{
    if (other.is_empty())
        return *this;
    if (is_empty())
        return other;
    Region result;
    regionOp(Op::Union, m_boxes, other.m_boxes, result.m_boxes);
    return result;
}

Region Region::subtract(const Region& other) const
{
    if (is_empty() || other.is_empty())
        return *this;
    Region result;
    regionOp(Op::Subtract, m_boxes, other.m_boxes, result.m_boxes);
    return result;
}

void Region::assign_intersect(const Region& other)
{
    if (is_empty())
        return;
    if (other.is_empty()) {
        clear();
        return;
    }
    regionOp(Op::Intersect, m_boxes, other.m_boxes, scratch());
    m_boxes.swap(scratch());
}

void Region::assign_union(const Region& other)
{
    if (other.is_empty())
        return;
    if (is_empty()) {
        m_boxes = other.m_boxes;
        return;
    }
    regionOp(Op::Union, m_boxes, other.m_boxes, scratch());
    m_boxes.swap(scratch());
}

void Region::assign_subtract(const Region& other)
{
    if (is_empty() || other.is_empty())
        return;
    regionOp(Op::Subtract, m_boxes, other.m_boxes, scratch());
    m_boxes.swap(scratch());
}

bool Region::equals(const Region& other) const
{
    return m_boxes == other.m_boxes;
}

bool Region::get_rects(std::vector<Rect>* rects, bool left2right, bool topdown) const
{
    const size_t n = m_boxes.size();
    size_t done = 0;
    while (done < n) {
        // The band [first, last] next in the vertical order.
        size_t first, last;
        if (topdown) {
            first = done;
            last = bandEnd(m_boxes, first) - 1;
        } else {
            last = n - 1 - done;
            first = last;
            while (first > 0 && m_boxes[first - 1].top == m_boxes[last].top)
                --first;
        }
        if (left2right) {
            for (size_t k = first; k <= last; ++k)
                rects->push_back(m_boxes[k]);
        } else {
            for (size_t k = last + 1; k-- > first;)
                rects->push_back(m_boxes[k]);
        }
        done += last - first + 1;
    }
    return !rects->empty();
}

Rect Region::get_bounding_rect() const
{
    if (m_boxes.empty())
        return Rect();
    Rect r(m_boxes.front().left, m_boxes.front().top, m_boxes.front().right, m_boxes.back().bottom);
    for (const Rect& b : m_boxes) {
        r.left = std::min(r.left, b.left);
        r.right = std::max(r.right, b.right);
    }
    return r;
}

} // namespace rfb
