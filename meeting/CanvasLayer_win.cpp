#include "meeting/CanvasLayer_win.h"

#include "core/base/TopDownBitmap_win.h"
#include "meeting/CanvasMessages.h"

#include <algorithm>
#include <cstring>
#include <objidl.h>
#include <gdiplus.h>

CanvasLayer::CanvasLayer() = default;

CanvasLayer::~CanvasLayer()
{
    Release();
}

bool CanvasLayer::Create(int width, int height, uint32_t fill)
{
    Release();
    if (!CanvasSizeValid(width, height))
        return false;
    BITMAPINFO bi = TopDownBitmapInfo(width, height);
    void* bits = nullptr;
    m_bitmap.Reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto dc = std::make_unique<MemoryDc>();
    if (!m_bitmap || !bits || !*dc) {
        m_bitmap.Reset();
        return false;
    }
    dc->Select(m_bitmap.get());
    auto image = std::make_unique<Gdiplus::Bitmap>(width, height, width * 4, PixelFormat32bppPARGB,
                                                   static_cast<BYTE*>(bits));
    if (image->GetLastStatus() != Gdiplus::Ok) {
        dc.reset();
        m_bitmap.Reset();
        return false;
    }
    m_dc = std::move(dc);
    m_image = std::move(image);
    m_width = width;
    m_height = height;
    m_pixels = static_cast<uint32_t*>(bits);
    Fill(fill);
    return true;
}

void CanvasLayer::Release()
{
    m_image.reset();
    m_dc.reset();
    m_bitmap.Reset();
    m_pixels = nullptr;
    m_width = m_height = 0;
}

void CanvasLayer::Fill(uint32_t value)
{
    if (!m_pixels)
        return;
    GdiFlush();
    std::fill(m_pixels, m_pixels + PixelCount(), value);
}

void CanvasLayer::CopyFrom(const CanvasLayer& other)
{
    if (!m_pixels || !other.m_pixels || other.m_width != m_width || other.m_height != m_height)
        return;
    GdiFlush();
    std::memcpy(m_pixels, other.m_pixels, PixelCount() * sizeof(uint32_t));
}

void CanvasLayer::CopyFrom(const CanvasLayer& other, const LayerBox& box)
{
    if (!m_pixels || !other.m_pixels || other.m_width != m_width || other.m_height != m_height)
        return;
    const LayerBox b = ClipBox(box, m_width, m_height);
    if (b.Empty())
        return;
    GdiFlush();
    const size_t row = static_cast<size_t>(b.Width()) * sizeof(uint32_t);
    for (int y = b.top; y < b.bottom; ++y) {
        const size_t at = static_cast<size_t>(y) * m_width + b.left;
        std::memcpy(m_pixels + at, other.m_pixels + at, row);
    }
}
