#include "Technician/decode/Framebuffer.h"

#include <algorithm>
#include <cstring>

namespace decode {

namespace {

size_t area(int width, int height)
{
    return static_cast<size_t>(width) * static_cast<size_t>(height);
}

} // namespace

Framebuffer::Framebuffer(int width, int height)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)), m_pixels(area(m_width, m_height))
{
}

void Framebuffer::resize(int width, int height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_pixels.assign(area(m_width, m_height), 0);
    if (m_cacheOn)
        m_cache.assign(m_pixels.size(), 0);
}

void Framebuffer::setCacheEnabled(bool on)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_cacheOn = on;
    if (on)
        m_cache.assign(m_pixels.size(), 0);
    else
        std::vector<uint32_t>().swap(m_cache);
}

void Framebuffer::Canvas::fill(const rfb::Rect& r, uint32_t colour)
{
    const rfb::Rect c = r.intersect(m_fb.bounds());
    if (c.is_empty())
        return;
    const size_t stride = static_cast<size_t>(m_fb.m_width);
    for (int y = c.top; y < c.bottom; ++y) {
        uint32_t* row = m_fb.m_pixels.data() + static_cast<size_t>(y) * stride;
        std::fill(row + c.left, row + c.right, colour);
    }
}

void Framebuffer::Canvas::put(int x, int y, int w, int h, const uint32_t* colours)
{
    const rfb::Rect c = rfb::Rect(x, y, x + w, y + h).intersect(m_fb.bounds());
    if (c.is_empty())
        return;
    const size_t stride = static_cast<size_t>(m_fb.m_width);
    const size_t n = static_cast<size_t>(c.width());
    for (int row = c.top; row < c.bottom; ++row) {
        const uint32_t* from = colours + static_cast<size_t>(row - y) * static_cast<size_t>(w) + (c.left - x);
        std::memcpy(m_fb.m_pixels.data() + static_cast<size_t>(row) * stride + c.left, from, n * sizeof(uint32_t));
    }
}

void Framebuffer::Canvas::putMasked(const rfb::Rect& r, const uint8_t* mask, const uint32_t* colours)
{
    const rfb::Rect fb = m_fb.bounds();
    const size_t stride = static_cast<size_t>(m_fb.m_width);
    size_t bit = 0;
    size_t next = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x, ++bit) {
            if (!(mask[bit / 8] >> (bit % 8) & 1))
                continue;
            const uint32_t colour = colours[next++];
            if (x >= fb.left && x < fb.right && y >= fb.top && y < fb.bottom)
                m_fb.m_pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] = colour;
        }
    }
}

void Framebuffer::Canvas::copy(const rfb::Rect& dest, const rfb::Point& src)
{
    const rfb::Rect from(src.x, src.y, src.x + dest.width(), src.y + dest.height());
    if (dest.is_empty() || !dest.enclosed_by(m_fb.bounds()) || !from.enclosed_by(m_fb.bounds()))
        return;
    const size_t stride = static_cast<size_t>(m_fb.m_width);
    const size_t n = static_cast<size_t>(dest.width()) * sizeof(uint32_t);
    uint32_t* base = m_fb.m_pixels.data();
    // Rows in the order that never overwrites a source row before it is read;
    // memmove takes care of overlap within a row.
    const int h = dest.height();
    for (int i = 0; i < h; ++i) {
        const int row = src.y < dest.top ? h - 1 - i : i;
        std::memmove(base + static_cast<size_t>(dest.top + row) * stride + dest.left,
                     base + static_cast<size_t>(src.y + row) * stride + src.x, n);
    }
}

void Framebuffer::Canvas::saveToCache(const rfb::Rect& r)
{
    const rfb::Rect c = r.intersect(m_fb.bounds());
    if (!m_fb.m_cacheOn || c.is_empty())
        return;
    const size_t stride = static_cast<size_t>(m_fb.m_width);
    for (int y = c.top; y < c.bottom; ++y) {
        const size_t at = static_cast<size_t>(y) * stride + static_cast<size_t>(c.left);
        std::memcpy(m_fb.m_cache.data() + at, m_fb.m_pixels.data() + at, static_cast<size_t>(c.width()) * 4);
    }
}

void Framebuffer::Canvas::swapWithCache(const rfb::Rect& r)
{
    const rfb::Rect c = r.intersect(m_fb.bounds());
    if (!m_fb.m_cacheOn || c.is_empty())
        return;
    const size_t stride = static_cast<size_t>(m_fb.m_width);
    for (int y = c.top; y < c.bottom; ++y) {
        const size_t at = static_cast<size_t>(y) * stride + static_cast<size_t>(c.left);
        std::swap_ranges(m_fb.m_pixels.begin() + static_cast<std::ptrdiff_t>(at),
                         m_fb.m_pixels.begin() + static_cast<std::ptrdiff_t>(at + static_cast<size_t>(c.width())),
                         m_fb.m_cache.begin() + static_cast<std::ptrdiff_t>(at));
    }
}

void Framebuffer::Canvas::clearCache()
{
    std::fill(m_fb.m_cache.begin(), m_fb.m_cache.end(), 0);
}

} // namespace decode
