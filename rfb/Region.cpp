#include "rfb/Region.h"

#include <algorithm>
#include <climits>

namespace rfb {

namespace {

enum class Op { Union, Intersect, Subtract };

struct Span {
    int x1, x2;
};

// Index one past the band that starts at i.
size_t bandEnd(const std::vector<Rect>& boxes, size_t i)
{
    const int top = boxes[i].top;
    size_t j = i + 1;
    while (j < boxes.size() && boxes[j].top == top)
        ++j;
    return j;
}

void addUnionSpan(std::vector<Span>& out, int x1, int x2)
{
    if (!out.empty() && x1 <= out.back().x2) {
        if (x2 > out.back().x2)
            out.back().x2 = x2;
    } else {
        out.push_back({x1, x2});
    }
}

// Combines the columns of one band of each operand. Either side may be
// empty (na or nb 0) where only one operand covers the rows.
void spanOp(Op op, const Rect* a, size_t na, const Rect* b, size_t nb, std::vector<Span>& out)
{
    out.clear();
    size_t i = 0, j = 0;
    switch (op) {
    case Op::Union:
        while (i < na || j < nb) {
            if (j >= nb || (i < na && a[i].left <= b[j].left)) {
                addUnionSpan(out, a[i].left, a[i].right);
                ++i;
            } else {
                addUnionSpan(out, b[j].left, b[j].right);
                ++j;
            }
        }
        break;
    case Op::Intersect:
        while (i < na && j < nb) {
            const int x1 = std::max(a[i].left, b[j].left);
            const int x2 = std::min(a[i].right, b[j].right);
            if (x1 < x2)
                out.push_back({x1, x2});
            if (a[i].right < b[j].right)
                ++i;
            else if (b[j].right < a[i].right)
                ++j;
            else {
                ++i;
                ++j;
            }
        }
        break;
    case Op::Subtract:
        for (; i < na; ++i) {
            int cur = a[i].left;
            const int end = a[i].right;
            while (j < nb && b[j].right <= cur)
                ++j;
            for (size_t k = j; k < nb && b[k].left < end && cur < end; ++k) {
                if (b[k].left > cur)
                    out.push_back({cur, b[k].left});
                cur = std::max(cur, b[k].right);
            }
            if (cur < end)
                out.push_back({cur, end});
        }
        break;
    }
}

// Builds the result band by band, splitting the rows wherever a band of
// either operand starts or ends, and merging each new band into the one
// above when they touch and hold the same columns.
class BandWriter {
public:
    explicit BandWriter(std::vector<Rect>& out) : m_out(out) {}

    void add(int top, int bottom, const std::vector<Span>& spans)
    {
        if (top >= bottom || spans.empty())
            return;
        if (m_prevBand < m_out.size() && m_out[m_prevBand].bottom == top &&
            m_out.size() - m_prevBand == spans.size() && sameColumns(spans)) {
            for (size_t k = m_prevBand; k < m_out.size(); ++k)
                m_out[k].bottom = bottom;
            return;
        }
        m_prevBand = m_out.size();
        for (const Span& s : spans)
            m_out.push_back(Rect(s.x1, top, s.x2, bottom));
    }

private:
    bool sameColumns(const std::vector<Span>& spans) const
    {
        for (size_t k = 0; k < spans.size(); ++k) {
            const Rect& r = m_out[m_prevBand + k];
            if (r.left != spans[k].x1 || r.right != spans[k].x2)
                return false;
        }
        return true;
    }

    std::vector<Rect>& m_out;
    size_t m_prevBand = SIZE_MAX;
};

std::vector<Rect> regionOp(Op op, const std::vector<Rect>& a, const std::vector<Rect>& b)
{
    std::vector<Rect> out;
    out.reserve(a.size() + b.size());
    BandWriter writer(out);
    std::vector<Span> spans;
    // Rows above ylo are done.
    int ylo = INT_MIN;
    size_t ia = 0, ib = 0;
    const bool keepAOnly = op != Op::Intersect;
    const bool keepBOnly = op == Op::Union;

    while (ia < a.size() && ib < b.size()) {
        const size_t ea = bandEnd(a, ia), eb = bandEnd(b, ib);
        const int aTop = std::max(a[ia].top, ylo), bTop = std::max(b[ib].top, ylo);
        const int aBot = a[ia].bottom, bBot = b[ib].bottom;
        if (aTop < bTop) {
            const int bot = std::min(aBot, bTop);
            if (keepAOnly) {
                spanOp(op, &a[ia], ea - ia, nullptr, 0, spans);
                writer.add(aTop, bot, spans);
            }
            ylo = bot;
        } else if (bTop < aTop) {
            const int bot = std::min(bBot, aTop);
            if (keepBOnly) {
                spanOp(op, nullptr, 0, &b[ib], eb - ib, spans);
                writer.add(bTop, bot, spans);
            }
            ylo = bot;
        } else {
            const int bot = std::min(aBot, bBot);
            spanOp(op, &a[ia], ea - ia, &b[ib], eb - ib, spans);
            writer.add(aTop, bot, spans);
            ylo = bot;
        }
        if (aBot <= ylo)
            ia = ea;
        if (bBot <= ylo)
            ib = eb;
    }
    if (keepAOnly) {
        for (; ia < a.size();) {
            const size_t ea = bandEnd(a, ia);
            spanOp(op, &a[ia], ea - ia, nullptr, 0, spans);
            writer.add(std::max(a[ia].top, ylo), a[ia].bottom, spans);
            ia = ea;
        }
    }
    if (keepBOnly) {
        for (; ib < b.size();) {
            const size_t eb = bandEnd(b, ib);
            spanOp(op, nullptr, 0, &b[ib], eb - ib, spans);
            writer.add(std::max(b[ib].top, ylo), b[ib].bottom, spans);
            ib = eb;
        }
    }
    return out;
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
        result.m_boxes = regionOp(Op::Intersect, m_boxes, other.m_boxes);
    return result;
}

Region Region::union_(const Region& other) const
{
    if (other.is_empty())
        return *this;
    if (is_empty())
        return other;
    Region result;
    result.m_boxes = regionOp(Op::Union, m_boxes, other.m_boxes);
    return result;
}

Region Region::subtract(const Region& other) const
{
    if (is_empty() || other.is_empty())
        return *this;
    Region result;
    result.m_boxes = regionOp(Op::Subtract, m_boxes, other.m_boxes);
    return result;
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
