#include "Technician/connection/ViewScale.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace viewer {

void ViewScale::setFramebuffer(int width, int height)
{
    m_fbW = std::max(0, width);
    m_fbH = std::max(0, height);
    if (m_fit)
        fitNow();
    clampPositions();
}

void ViewScale::setClientSize(int width, int height)
{
    m_pageW = std::max(0, width);
    m_pageH = std::max(0, height);
    if (m_fit)
        fitNow();
    clampPositions();
}

bool ViewScale::fitNow()
{
    if (!hasFramebuffer())
        return false;
    const double num = std::min(static_cast<double>(m_pageH * 100 / m_fbH), static_cast<double>(m_pageW * 100 / m_fbW));
    if (num <= 0)
        return false;
    m_num = num;
    m_den = 100.0;
    m_scaling = true;
    return true;
}

int ViewScale::percent() const
{
    if (!m_scaling || m_den <= 0)
        return 100;
    return static_cast<int>(m_num * 100.0 / m_den);
}

void ViewScale::setFitToWindow(bool on)
{
    if (on == m_fit)
        return;
    if (on) {
        m_savedNum = m_num;
        m_savedDen = m_den;
        m_savedScaling = m_scaling;
        m_fit = true;
        fitNow();
    } else {
        m_fit = false;
        m_num = m_savedNum;
        m_den = m_savedDen;
        m_scaling = m_savedScaling;
    }
    clampPositions();
}

bool ViewScale::setScale(double num, double den)
{
    if (!(num > 0) || !(den > 0))
        return false;
    m_fit = false;
    m_num = num;
    m_den = den;
    m_scaling = true;
    m_savedNum = num;
    m_savedDen = den;
    m_savedScaling = true;
    clampPositions();
    return true;
}

void ViewScale::setUnscaled()
{
    m_fit = false;
    m_scaling = false;
    m_num = 100.0;
    m_den = 100.0;
    m_savedNum = 100.0;
    m_savedDen = 100.0;
    m_savedScaling = false;
    clampPositions();
}

int ViewScale::scaledWidth() const
{
    return m_scaling ? static_cast<int>(m_fbW * m_num / m_den) : m_fbW;
}

int ViewScale::scaledHeight() const
{
    return m_scaling ? static_cast<int>(m_fbH * m_num / m_den) : m_fbH;
}

int ViewScale::maxHpos() const
{
    return std::max(0, scaledWidth() - m_pageW);
}

int ViewScale::maxVpos() const
{
    return std::max(0, scaledHeight() - m_pageH);
}

void ViewScale::clampPositions()
{
    m_hpos = std::clamp(m_hpos, 0, maxHpos());
    m_vpos = std::clamp(m_vpos, 0, maxVpos());
}

bool ViewScale::scrollBy(int dx, int dy, int* movedX, int* movedY)
{
    const int x = std::clamp(static_cast<int>(std::clamp<long long>(static_cast<long long>(m_hpos) + dx, 0, 1 << 30)), 0, maxHpos());
    const int y = std::clamp(static_cast<int>(std::clamp<long long>(static_cast<long long>(m_vpos) + dy, 0, 1 << 30)), 0, maxVpos());
    const int mx = x - m_hpos;
    const int my = y - m_vpos;
    m_hpos = x;
    m_vpos = y;
    if (movedX)
        *movedX = mx;
    if (movedY)
        *movedY = my;
    return mx != 0 || my != 0;
}

rfb::Rect ViewScale::windowRectOf(const rfb::Rect& r) const
{
    if (!m_scaling || m_num == m_den)
        return rfb::Rect(r.left - m_hpos, r.top - m_vpos, r.right - m_hpos, r.bottom - m_vpos);
    const double s = m_num / m_den;
    const int x0 = static_cast<int>(std::floor(r.left * s)) - m_hpos;
    const int y0 = static_cast<int>(std::floor(r.top * s)) - m_vpos;
    const int x1 = static_cast<int>(std::ceil(r.right * s)) + 1 - m_hpos;
    const int y1 = static_cast<int>(std::ceil(r.bottom * s)) + 1 - m_vpos;
    return rfb::Rect(x0, y0, x1, y1);
}

void ViewScale::framebufferPointOf(int wx, int wy, int& fx, int& fy) const
{
    if (!m_scaling || m_num <= 0) {
        fx = wx + m_hpos;
        fy = wy + m_vpos;
        return;
    }
    fx = static_cast<int>((wx + m_hpos) * m_den / m_num);
    fy = static_cast<int>((wy + m_vpos) * m_den / m_num);
}

int ViewScale::zoomStep()
{
    int p = percent();
    if (p >= kMaxZoom)
        m_reduce = true;
    else if (p <= kMinZoom)
        m_reduce = false;
    p = m_reduce ? p - 10 : p + 10;
    applyPercent(p);
    return percent();
}

void ViewScale::applyPercent(int p)
{
    if (p >= kMaxZoom) {
        p = kMaxZoom;
        m_reduce = true;
    } else if (p <= kMinZoom) {
        p = kMinZoom;
        m_reduce = false;
    }
    setScale(p, 100);
}

int ViewScale::ParseZoomText(const std::string& text)
{
    std::string t = text;
    const size_t percent = t.find('%');
    if (percent != std::string::npos)
        t.erase(percent);
    const size_t first = t.find_first_not_of(" \t");
    if (first == std::string::npos)
        return -1;
    char* end = nullptr;
    const double v = std::strtod(t.c_str() + first, &end);
    if (end == t.c_str() + first)
        return -1;
    if (!(v > 0.1))
        return kMinZoom;
    if (v >= kMaxZoom)
        return kMaxZoom;
    return std::max(kMinZoom, static_cast<int>(v));
}

int ViewScale::bestFitPercent() const
{
    if (!hasFramebuffer())
        return -1;
    return std::min(m_pageH * 100 / m_fbH, m_pageW * 100 / m_fbW);
}

namespace {

// The fit along one side (page a of picture side a), given up by a scroll
// bar's room when the other side would then not fit.
int FitAlong(int pageA, int fbA, int pageB, int fbB, int bar)
{
    const int p = pageA * 100 / fbA;
    if (pageB * 100 / fbB < p)
        return std::max(0, pageA - bar) * 100 / fbA;
    return p;
}

} // namespace

int ViewScale::fitHeightPercent(int vScrollWidth) const
{
    return hasFramebuffer() ? FitAlong(m_pageH, m_fbH, m_pageW, m_fbW, vScrollWidth) : -1;
}

int ViewScale::fitWidthPercent(int hScrollHeight) const
{
    return hasFramebuffer() ? FitAlong(m_pageW, m_fbW, m_pageH, m_fbH, hScrollHeight) : -1;
}

} // namespace viewer
