// The viewer's picture: width x height pixels of 0x00RRGGBB, top-down, so a
// 32-bit DIB can paint the same memory. An optional cache surface of the same
// size holds what areas showed before their last update (cache encodings).
//
// Everything that touches the pixels goes through a scope that holds the
// framebuffer's lock: Canvas for the decoders' writes, View for painting.
// Decoders open a Canvas only once the data to draw is in hand, so painting
// never waits on the network. Every primitive clips to the framebuffer.
#pragma once

#include "rfb/Rect.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace decode {

class Framebuffer {
public:
    Framebuffer(int width, int height);
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;

    class Canvas;
    class View;

    // Size, cache and lock are the owner's thread's business; each takes the
    // lock, so they may be called while another thread paints.
    int width() const { return m_width; }
    int height() const { return m_height; }
    rfb::Rect bounds() const { return rfb::Rect(0, 0, m_width, m_height); }
    // New size: black picture, a black cache when the cache is on.
    void resize(int width, int height);
    // The cache surface is made black when turned on and dropped when off.
    void setCacheEnabled(bool on);
    bool cacheEnabled() const { return m_cacheOn; }

    Canvas draw();
    View view();

    // The lock itself, for a caller that must hold it while it does
    // something else (tests of the lock rule; painting code).
    std::mutex& mutex() { return m_lock; }

private:
    std::mutex m_lock;
    int m_width;
    int m_height;
    bool m_cacheOn = false;
    std::vector<uint32_t> m_pixels;
    std::vector<uint32_t> m_cache;
};

class Framebuffer::Canvas {
public:
    explicit Canvas(Framebuffer& fb) : m_guard(fb.m_lock), m_fb(fb) {}

    void fill(const rfb::Rect& r, uint32_t colour);
    // Colours of a w x h block, row after row, at (x, y); the part outside
    // the framebuffer is skipped.
    void put(int x, int y, int w, int h, const uint32_t* colours);
    // The colours of the set bits of a mask (one bit a pixel, least
    // significant first, rows not padded) at r; clear bits keep the picture.
    // colours holds one entry per set bit, in mask order.
    void putMasked(const rfb::Rect& r, const uint8_t* mask, const uint32_t* colours);
    // Copies the w x h area at src to dest; source and destination may
    // overlap. Both must lie inside the framebuffer (else nothing happens).
    void copy(const rfb::Rect& dest, const rfb::Point& src);
    // Cache surface: save an area, swap an area, clear it all. Nothing
    // happens while the cache is off.
    void saveToCache(const rfb::Rect& r);
    void swapWithCache(const rfb::Rect& r);
    void clearCache();

private:
    std::unique_lock<std::mutex> m_guard;
    Framebuffer& m_fb;
};

class Framebuffer::View {
public:
    explicit View(Framebuffer& fb) : m_guard(fb.m_lock), m_fb(fb) {}
    const uint32_t* pixels() const { return m_fb.m_pixels.data(); }
    size_t stride() const { return static_cast<size_t>(m_fb.m_width); }
    uint32_t pixel(int x, int y) const { return pixels()[static_cast<size_t>(y) * stride() + static_cast<size_t>(x)]; }

private:
    std::unique_lock<std::mutex> m_guard;
    Framebuffer& m_fb;
};

inline Framebuffer::Canvas Framebuffer::draw()
{
    return Canvas(*this);
}

inline Framebuffer::View Framebuffer::view()
{
    return View(*this);
}

} // namespace decode
