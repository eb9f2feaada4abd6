#pragma once
// One drawing layer of a canvas: a 32-bit top-down DIB section selected into
// its own memory DC (for GDI, blits and UpdateLayeredWindow) and a GDI+
// bitmap over the same pixels in premultiplied ARGB (for anti-aliased
// drawing). Each pixel is 0xAARRGGBB, its colour multiplied by its alpha.
#include "core/base/GdiObject_win.h"
#include "meeting/LayerBox.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace Gdiplus {
class Bitmap;
}

class CanvasLayer {
public:
    CanvasLayer();
    ~CanvasLayer();
    CanvasLayer(const CanvasLayer&) = delete;
    CanvasLayer& operator=(const CanvasLayer&) = delete;

    // Makes the layer at the size (held to the canvas limits) filled with
    // `fill`; false, and no layer, when the bitmap could not be made.
    bool Create(int width, int height, uint32_t fill);
    void Release();
    bool Ready() const { return m_pixels != nullptr; }

    void Fill(uint32_t value);
    // Copies another layer of the same size, whole or only the box of it.
    void CopyFrom(const CanvasLayer& other);
    void CopyFrom(const CanvasLayer& other, const LayerBox& box);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    uint32_t* Pixels() { return m_pixels; }
    const uint32_t* Pixels() const { return m_pixels; }
    size_t PixelCount() const { return static_cast<size_t>(m_width) * m_height; }
    HDC Dc() const { return m_dc ? m_dc->get() : nullptr; }
    // The GDI+ view of the pixels; null while the layer is not made.
    Gdiplus::Bitmap* Image() const { return m_image.get(); }

private:
    int m_width = 0;
    int m_height = 0;
    uint32_t* m_pixels = nullptr;
    GdiObject<HBITMAP> m_bitmap;
    std::unique_ptr<MemoryDc> m_dc;
    std::unique_ptr<Gdiplus::Bitmap> m_image;
};
