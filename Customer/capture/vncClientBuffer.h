// The host's frame buffers: the current screen copy (main), the last frame
// reported to the viewer side (back), the frame before it (cache) and a
// scaled copy, with the block compare that turns "may have changed" into the
// blocks that did change. One lock, the update lock, guards them together
// with the client's update state.
#pragma once

#include "Customer/encode/FrameView.h"
#include "Customer/capture/ScreenSource.h"
#include "rfb/Region.h"

#include <cstdint>
#include <memory>
#include <vector>

class omni_mutex;

class vncClientBuffer {
public:
    vncClientBuffer();
    ~vncClientBuffer();
    vncClientBuffer(const vncClientBuffer&) = delete;
    vncClientBuffer& operator=(const vncClientBuffer&) = delete;

    omni_mutex& UpdateLock() { return *m_updateLock; }

    // The screen the buffers follow; CheckBuffer sizes them for it.
    void SetSource(ScreenSource* source);
    const ScreenInfo& Screen() const { return m_screen; }
    bool CheckBuffer();
    void FreeBuffers();

    // Scale 1 to 9; the scaled buffer holds whole n x n cells only.
    bool SetScale(int n);
    int Scale() const { return m_scale; }
    void SetGrey(bool on) { m_grey = on; }
    bool Grey() const { return m_grey; }
    // 1, 2, 4 or 8: each compare call samples 1/step of every block line.
    void SetCompareStep(int step);

    // Copies the region (clipped to shared) from the screen into the main
    // buffer, in bands of vertically overlapping rectangles, then scales or
    // greys it.
    void GrabRegion(const rfb::Region& region, const rfb::Rect& shared, bool noCapture = false);
    void GrabRect(bool noCapture, const rfb::Rect& rect);
    // Compares against the back buffer (updating it, and the cache) and adds
    // what changed, or what the cache holds, in screen coordinates.
    void CheckRegion(const rfb::Region& region, rfb::Region& changed, rfb::Region& cached);
    void CheckRect(const rfb::Rect& rect, rfb::Region& changed, rfb::Region& cached);
    // Moves back-buffer pixels for a copy to dest from dest - delta.
    void CopyRect(const rfb::Rect& dest, const rfb::Point& delta);
    // The next compare reports the rectangle changed, whatever it holds.
    void MarkStale(const rfb::Rect& rect);
    void CopyMainToBack();

    // The cache keeps the frame before the back buffer; only areas that hold
    // real earlier content are ever reported as cached.
    void SetCacheEnabled(bool on);
    bool CacheEnabled() const { return m_cacheEnabled; }
    bool AllocCacheBuffer();
    void ClearCache();
    void ClearCacheRect(const rfb::Rect& rect);
    // The viewer uses encoding 9: the cache is not used for compares.
    void SetEncoding9(bool on) { m_encoding9 = on; }

    void ScaleRect(const rfb::Rect& rect);
    void GreyScaleRect(const rfb::Rect& rect);

    // What the encoders read: the back buffer at the viewer's scale.
    FrameView BackView() const;
    FrameView MainView() const;
    size_t BytesPerRow() const { return m_bytesPerRow; }

    // Set by capture when the cursor's shape changed; taken by the sender.
    bool TakeCursorShapeChanged();
    void SetCursorShapeChanged() { m_cursorShapeChanged = true; }
    bool TakeCursorRefresh();

private:
    uint8_t* CompareSource() const;
    int ScaledWidth() const { return m_screen.width / m_scale; }
    int ScaledHeight() const { return m_screen.height / m_scale; }
    size_t Offset(int x, int y) const
    {
        return static_cast<size_t>(y) * m_bytesPerRow + static_cast<size_t>(x) * static_cast<size_t>(Bpp());
    }
    int Bpp() const { return m_screen.format.bitsPerPixel / 8; }
    void CheckRectAt(const rfb::Rect& rect, rfb::Region& changed, rfb::Region& cached);
    bool CheckBlock(const rfb::Rect& block, bool narrow, rfb::Region& changed, rfb::Region& cached);

    std::unique_ptr<omni_mutex> m_updateLock;
    ScreenSource* m_source = nullptr;
    ScreenInfo m_screen;
    size_t m_bytesPerRow = 0;
    size_t m_bufferSize = 0;
    int m_scale = 1;
    bool m_grey = false;
    int m_compareStep = 1;
    unsigned m_comparePhase = 0;
    bool m_cacheEnabled = false;
    bool m_encoding9 = false;
    bool m_cursorShapeChanged = false;
    bool m_cursorRefresh = false;

    uint8_t* m_main = nullptr;  // m_ownMain or the source's Bits()
    std::unique_ptr<uint8_t[]> m_ownMain;
    std::unique_ptr<uint8_t[]> m_back;
    std::unique_ptr<uint8_t[]> m_cache;
    std::unique_ptr<uint8_t[]> m_scaled;
    rfb::Region m_stale;
    rfb::Region m_cacheValid;
};
