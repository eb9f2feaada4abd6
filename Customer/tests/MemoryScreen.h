// A screen in memory for tests: a frame the test draws into, captured by
// copying rows, optionally exposing its own pixel memory like a DIB section.
#pragma once

#include "Customer/capture/ScreenSource.h"
#include "Customer/tests/TestFrames.h"

#include <cstring>
#include <mutex>

class MemoryScreen : public ScreenSource {
public:
    MemoryScreen(const rfb::PixelFormat& pf, int width, int height)
        : m_frame(testframes::MakeFrame(pf, width, height))
    {
        m_frame.stride = DibStride(width, pf.bitsPerPixel);
        m_frame.bytes.assign(m_frame.stride * static_cast<size_t>(height), 0);
    }

    testframes::Frame& frame() { return m_frame; }
    std::mutex& lock() { return m_lock; }
    int captures = 0;

    ScreenInfo Info() const override
    {
        ScreenInfo i;
        i.width = m_frame.width;
        i.height = m_frame.height;
        i.format = m_frame.format;
        return i;
    }
    uint8_t* Bits() override { return nullptr; }
    bool CaptureRect(const rfb::Rect& r, uint8_t* dest, size_t stride) override
    {
        std::lock_guard<std::mutex> hold(m_lock);
        ++captures;
        const size_t bpp = static_cast<size_t>(m_frame.format.bitsPerPixel / 8);
        for (int y = r.top; y < r.bottom; ++y)
            std::memcpy(dest + static_cast<size_t>(y) * stride + static_cast<size_t>(r.left) * bpp,
                        m_frame.bytes.data() + static_cast<size_t>(y) * m_frame.stride + static_cast<size_t>(r.left) * bpp,
                        static_cast<size_t>(r.width()) * bpp);
        return true;
    }

    // Draws a frame of the same format and size into the screen.
    void Paint(const testframes::Frame& f)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (int y = 0; y < f.height && y < m_frame.height; ++y)
            for (int x = 0; x < f.width && x < m_frame.width; ++x)
                m_frame.setPixel(x, y, f.pixel(x, y));
    }

private:
    testframes::Frame m_frame;
    std::mutex m_lock;
};
