#include "Customer/capture/vncClientBuffer.h"

#include "Customer/encode/HostLog.h"

#include <omnithread.h>

#include <cstring>
#include <new>

namespace {

// Largest screen the buffers are made for (each side), well above any display.
constexpr int kMaxSide = 16384;

std::unique_ptr<uint8_t[]> allocZeroed(size_t size)
{
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]());
}

uint32_t readPixel(const uint8_t* p, int bpp)
{
    uint32_t v = 0;
    std::memcpy(&v, p, static_cast<size_t>(bpp));
    return v;
}

void writePixel(uint8_t* p, int bpp, uint32_t v)
{
    std::memcpy(p, &v, static_cast<size_t>(bpp));
}

uint32_t greyLevel(unsigned luminance)
{
    static const uint8_t levels[8] = {0x10, 0x30, 0x50, 0x70, 0x90, 0xB0, 0xD0, 0xF0};
    const unsigned index = luminance == 0 ? 0 : (luminance - 1) / 32;
    return levels[index > 7 ? 7 : index];
}

bool regionCovers(const rfb::Region& region, const rfb::Rect& r)
{
    return rfb::Region(r).subtract(region).is_empty();
}

} // namespace

vncClientBuffer::vncClientBuffer() : m_updateLock(std::make_unique<omni_mutex>()) {}

vncClientBuffer::~vncClientBuffer() = default;

void vncClientBuffer::SetSource(ScreenSource* source)
{
    m_source = source;
}

void vncClientBuffer::SetCompareStep(int step)
{
    m_compareStep = (step == 2 || step == 4 || step == 8) ? step : 1;
}

void vncClientBuffer::FreeBuffers()
{
    m_main = nullptr;
    m_ownMain.reset();
    m_back.reset();
    m_cache.reset();
    m_scaled.reset();
    m_bufferSize = 0;
    m_stale.clear();
    m_cacheValid.clear();
}

bool vncClientBuffer::CheckBuffer()
{
    if (!m_source)
        return false;
    const ScreenInfo info = m_source->Info();
    const int bpp = info.format.bitsPerPixel;
    if (info.width <= 0 || info.height <= 0 || info.width > kMaxSide || info.height > kMaxSide ||
        (bpp != 8 && bpp != 16 && bpp != 32)) {
        HostLog(kHostLogError, "unusable screen %d x %d at %d bits per pixel\n", info.width, info.height, bpp);
        FreeBuffers();
        return false;
    }
    m_screen = info;
    m_bytesPerRow = DibStride(info.width, bpp);
    const size_t size = m_bytesPerRow * static_cast<size_t>(info.height);
    uint8_t* bits = m_source->Bits();
    const bool mainOk = bits ? m_main == bits : (m_ownMain && m_main == m_ownMain.get());
    if (size == m_bufferSize && mainOk && m_back)
        return true;

    HostLog(kHostLogDebugInfo, "request local buffer[%d]\n", static_cast<int>(size));
    FreeBuffers();
    if (bits) {
        m_main = bits;
        HostLog(kHostLogDebugInfo, "fast blits detected - using DIBsection buffer\n");
    } else {
        m_ownMain = allocZeroed(size);
        if (!m_ownMain) {
            HostLog(kHostLogError, "unable to allocate main buffer[%d]\n", static_cast<int>(size));
            return false;
        }
        m_main = m_ownMain.get();
    }
    m_back = allocZeroed(size);
    if (!m_back) {
        HostLog(kHostLogError, "unable to allocate back buffer[%d]\n", static_cast<int>(size));
        FreeBuffers();
        return false;
    }
    if (m_cacheEnabled && !AllocCacheBuffer()) {
        FreeBuffers();
        return false;
    }
    if (m_scale >= 2) {
        m_scaled = allocZeroed(size);
        if (!m_scaled) {
            HostLog(kHostLogError, "unable to allocate scaled buffer[%d]\n", static_cast<int>(size));
            FreeBuffers();
            return false;
        }
        std::memcpy(m_scaled.get(), m_main, size);
    }
    m_bufferSize = size;
    // The zeroed back buffer says nothing about the screen: every area must
    // be reported once, black ones included.
    m_stale.reset(rfb::Rect(0, 0, info.width, info.height));
    return true;
}

bool vncClientBuffer::SetScale(int n)
{
    if (n < 1 || n > 9)
        return false;
    m_scale = n;
    if (!CheckBuffer())
        return false;
    if (n == 1) {
        m_scaled.reset();
        CopyMainToBack();
    } else {
        if (!m_scaled) {
            m_scaled = allocZeroed(m_bufferSize);
            if (!m_scaled) {
                HostLog(kHostLogError, "unable to allocate scaled buffer[%d]\n", static_cast<int>(m_bufferSize));
                return false;
            }
        }
        std::memset(m_scaled.get(), 0, m_bufferSize);
        std::memset(m_back.get(), 0, m_bufferSize);
        m_stale.reset(rfb::Rect(0, 0, ScaledWidth(), ScaledHeight()));
    }
    ClearCache();
    return true;
}

void vncClientBuffer::CopyMainToBack()
{
    if (m_main && m_back && m_main != m_back.get())
        std::memcpy(m_back.get(), m_main, m_bufferSize);
    m_stale.clear();
}

uint8_t* vncClientBuffer::CompareSource() const
{
    return m_scale == 1 ? m_main : m_scaled.get();
}

void vncClientBuffer::GrabRegion(const rfb::Region& region, const rfb::Rect& shared, bool noCapture)
{
    std::vector<rfb::Rect> rects;
    region.intersect(rfb::Region(shared)).get_rects(&rects, true, true);
    if (rects.empty())
        return;
    rfb::Rect band = rects[0];
    for (size_t i = 1; i < rects.size(); ++i) {
        const rfb::Rect& r = rects[i];
        if (r.top > band.bottom) {
            GrabRect(noCapture, band);
            band = r;
        } else {
            band = rfb::Rect(band.left < r.left ? band.left : r.left, band.top, band.right > r.right ? band.right : r.right,
                             band.bottom > r.bottom ? band.bottom : r.bottom);
        }
    }
    GrabRect(noCapture, band);
}

void vncClientBuffer::GrabRect(bool noCapture, const rfb::Rect& rect)
{
    if (!m_source)
        return;
    const uint8_t* bits = m_source->Bits();
    if ((bits && bits != m_main) || !m_back) {
        if (!CheckBuffer())
            return;
    }
    const rfb::Rect r = rect.intersect(rfb::Rect(0, 0, m_screen.width, m_screen.height));
    if (r.is_empty())
        return;
    if (!noCapture && !m_source->CaptureRect(r, m_main, m_bytesPerRow))
        return;
    if (m_scale >= 2)
        ScaleRect(r);
    else if (m_grey)
        GreyScaleRect(r);
}

void vncClientBuffer::CheckRegion(const rfb::Region& region, rfb::Region& changed, rfb::Region& cached)
{
    std::vector<rfb::Rect> rects;
    region.get_rects(&rects, true, true);
    for (const rfb::Rect& r : rects)
        CheckRectAt(r, changed, cached);
    ++m_comparePhase;
}

void vncClientBuffer::CheckRect(const rfb::Rect& rect, rfb::Region& changed, rfb::Region& cached)
{
    CheckRectAt(rect, changed, cached);
    ++m_comparePhase;
}

void vncClientBuffer::CheckRectAt(const rfb::Rect& rect, rfb::Region& changed, rfb::Region& cached)
{
    if (m_source && m_source->Bits() && m_source->Bits() != m_main && !CheckBuffer())
        return;
    if (!m_main || !m_back || !CompareSource())
        return;
    const int n = m_scale;
    rfb::Rect r = rect.intersect(rfb::Rect(0, 0, m_screen.width, m_screen.height));
    if (r.is_empty())
        return;
    r = rfb::Rect(r.left / n, r.top / n, (r.right + n - 1) / n, (r.bottom + n - 1) / n)
            .intersect(rfb::Rect(0, 0, ScaledWidth(), ScaledHeight()));
    if (r.is_empty())
        return;
    if (Bpp() == 1)
        r.left &= ~3;
    else if (Bpp() == 2)
        r.left &= ~1;

    const int w = r.width();
    const int bs = w < 16 ? 8 : w < 32 ? 16 : 64;
    const bool narrow = w < 16;
    for (int by = r.top; by < r.bottom; by += bs)
        for (int bx = r.left; bx < r.right; bx += bs)
            CheckBlock(rfb::Rect(bx, by, bx + bs < r.right ? bx + bs : r.right, by + bs < r.bottom ? by + bs : r.bottom),
                       narrow, changed, cached);
}

// Compares a slice of each line: with step s the line is cut into s slices of
// whole pixels (the last one runs to the line end, at least one pixel each).
// Line y takes slice (phase + y) and the phase moves on by one each call, so
// successive lines take successive slices and every pixel is compared within
// s calls.
bool vncClientBuffer::CheckBlock(const rfb::Rect& block, bool narrow, rfb::Region& changed, rfb::Region& cached)
{
    uint8_t* src = CompareSource();
    uint8_t* back = m_back.get();
    const int bpp = Bpp();
    const int bw = block.width();
    const size_t lineBytes = static_cast<size_t>(bw) * static_cast<size_t>(bpp);
    const unsigned slices = static_cast<unsigned>(m_compareStep < bw ? m_compareStep : bw);
    const size_t sliceLen = static_cast<size_t>(bw / static_cast<int>(slices)) * static_cast<size_t>(bpp);

    const bool stale = !m_stale.is_empty() && !m_stale.intersect(rfb::Region(block)).is_empty();
    int firstDiff = -1;
    if (stale) {
        firstDiff = block.top;
    } else {
        for (int y = block.top; y < block.bottom; ++y) {
            const unsigned phase = (m_comparePhase + static_cast<unsigned>(y)) % slices;
            const size_t off = phase * sliceLen;
            const size_t len = phase == slices - 1 ? lineBytes - off : sliceLen;
            const size_t at = Offset(block.left, y) + off;
            if (std::memcmp(src + at, back + at, len) != 0) {
                firstDiff = y;
                break;
            }
        }
    }
    if (firstDiff < 0)
        return false;

    const rfb::Rect done(block.left, narrow ? firstDiff : block.top, block.right, block.bottom);
    if (stale)
        m_stale.assign_subtract(rfb::Region(block));
    const int n = m_scale;
    const rfb::Rect report =
        rfb::Rect(done.left * n, done.top * n, done.right * n, done.bottom * n)
            .intersect(rfb::Rect(0, 0, m_screen.width, m_screen.height));

    const bool useCache = m_cacheEnabled && !m_encoding9 && m_cache;
    if (!useCache) {
        for (int y = done.top; y < done.bottom; ++y)
            std::memcpy(back + Offset(done.left, y), src + Offset(done.left, y), lineBytes);
        changed.assign_union(rfb::Region(report));
        return true;
    }
    uint8_t* cache = m_cache.get();
    bool allMatch = !stale && regionCovers(m_cacheValid, done);
    for (int y = done.top; y < done.bottom; ++y) {
        const size_t at = Offset(done.left, y);
        if (allMatch)
            allMatch = std::memcmp(src + at, cache + at, lineBytes) == 0;
        std::memcpy(cache + at, back + at, lineBytes);
        std::memcpy(back + at, src + at, lineBytes);
    }
    // The cache now holds what the back buffer held: real content unless the
    // back buffer was still stale.
    if (stale)
        m_cacheValid.assign_subtract(rfb::Region(done));
    else
        m_cacheValid.assign_union(rfb::Region(done));
    (allMatch ? cached : changed).assign_union(rfb::Region(report));
    return true;
}

void vncClientBuffer::CopyRect(const rfb::Rect& dest, const rfb::Point& delta)
{
    if (!m_back)
        return;
    const int n = m_scale;
    const rfb::Rect d(dest.left / n, dest.top / n, dest.right / n, dest.bottom / n);
    const rfb::Point dd(delta.x / n, delta.y / n);
    const rfb::Rect s = d.translate(dd.negate());
    const rfb::Rect bounds(0, 0, ScaledWidth(), ScaledHeight());
    if (d.is_empty() || !d.enclosed_by(bounds) || !s.enclosed_by(bounds))
        return;
    ClearCacheRect(rfb::Rect(d.left * n, d.top * n, d.right * n, d.bottom * n));
    ClearCacheRect(rfb::Rect(s.left * n, s.top * n, s.right * n, s.bottom * n));
    const size_t lineBytes = static_cast<size_t>(d.width()) * static_cast<size_t>(Bpp());
    uint8_t* back = m_back.get();
    if (dd.y <= 0) {
        for (int y = 0; y < d.height(); ++y)
            std::memmove(back + Offset(d.left, d.top + y), back + Offset(s.left, s.top + y), lineBytes);
    } else {
        for (int y = d.height() - 1; y >= 0; --y)
            std::memmove(back + Offset(d.left, d.top + y), back + Offset(s.left, s.top + y), lineBytes);
    }
}

void vncClientBuffer::MarkStale(const rfb::Rect& rect)
{
    const int n = m_scale;
    m_stale.assign_union(
        rfb::Region(rfb::Rect(rect.left / n, rect.top / n, (rect.right + n - 1) / n, (rect.bottom + n - 1) / n)));
}

void vncClientBuffer::SetCacheEnabled(bool on)
{
    m_cacheEnabled = on;
    if (!on)
        m_cache.reset();
}

bool vncClientBuffer::AllocCacheBuffer()
{
    m_cache.reset();
    const size_t size = m_bytesPerRow * static_cast<size_t>(m_screen.height);
    if (size == 0)
        return false;
    m_cache = allocZeroed(size);
    if (!m_cache) {
        HostLog(kHostLogError, "unable to allocate cache buffer[%d]\n", static_cast<int>(size));
        return false;
    }
    ClearCache();
    return true;
}

void vncClientBuffer::ClearCache()
{
    m_cursorRefresh = true;
    m_cacheValid.clear();
}

void vncClientBuffer::ClearCacheRect(const rfb::Rect& rect)
{
    const int n = m_scale;
    m_cacheValid.assign_subtract(
        rfb::Region(rfb::Rect(rect.left / n, rect.top / n, (rect.right + n - 1) / n, (rect.bottom + n - 1) / n)));
}

// Averages whole n x n cells of the main buffer into the scaled buffer; cells
// cut by the screen's right or bottom edge are outside the scaled frame.
void vncClientBuffer::ScaleRect(const rfb::Rect& rect)
{
    const int n = m_scale;
    if (n < 2 || !m_scaled || !m_main)
        return;
    const rfb::PixelFormat& pf = m_screen.format;
    const int bpp = Bpp();
    const int cx0 = rect.left / n, cy0 = rect.top / n;
    const int cx1 = (rect.right + n - 1) / n < ScaledWidth() ? (rect.right + n - 1) / n : ScaledWidth();
    const int cy1 = (rect.bottom + n - 1) / n < ScaledHeight() ? (rect.bottom + n - 1) / n : ScaledHeight();
    const bool greyOut = m_grey && pf.redMax == 255 && pf.greenMax == 255 && pf.blueMax == 255;
    const uint32_t cells = static_cast<uint32_t>(n * n);
    for (int cy = cy0; cy < cy1; ++cy) {
        for (int cx = cx0; cx < cx1; ++cx) {
            uint32_t out;
            if (!pf.trueColour) {
                out = readPixel(m_main + Offset(cx * n, cy * n), bpp);
            } else {
                uint32_t r = 0, g = 0, b = 0;
                for (int y = 0; y < n; ++y)
                    for (int x = 0; x < n; ++x) {
                        const uint32_t p = readPixel(m_main + Offset(cx * n + x, cy * n + y), bpp);
                        r += (p >> pf.redShift) & pf.redMax;
                        g += (p >> pf.greenShift) & pf.greenMax;
                        b += (p >> pf.blueShift) & pf.blueMax;
                    }
                r /= cells;
                g /= cells;
                b /= cells;
                if (greyOut)
                    r = g = b = greyLevel((11 * r + 16 * g + 5 * b) / 32);
                out = r << pf.redShift | g << pf.greenShift | b << pf.blueShift;
            }
            writePixel(m_scaled.get() + Offset(cx, cy), bpp, out);
        }
    }
}

void vncClientBuffer::GreyScaleRect(const rfb::Rect& rect)
{
    const rfb::PixelFormat& pf = m_screen.format;
    if (!m_grey || !m_main || !pf.trueColour || pf.redMax != 255 || pf.greenMax != 255 || pf.blueMax != 255)
        return;
    const int bpp = Bpp();
    const rfb::Rect r = rect.intersect(rfb::Rect(0, 0, m_screen.width, m_screen.height));
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            uint8_t* p = m_main + Offset(x, y);
            const uint32_t v = readPixel(p, bpp);
            const uint32_t level = greyLevel((11 * ((v >> pf.redShift) & 255) + 16 * ((v >> pf.greenShift) & 255) +
                                              5 * ((v >> pf.blueShift) & 255)) / 32);
            writePixel(p, bpp, level << pf.redShift | level << pf.greenShift | level << pf.blueShift);
        }
}

FrameView vncClientBuffer::BackView() const
{
    FrameView v;
    v.data = m_back.get();
    v.size = m_back ? m_bufferSize : 0;
    v.stride = m_bytesPerRow;
    v.width = m_back ? ScaledWidth() : 0;
    v.height = m_back ? ScaledHeight() : 0;
    return v;
}

FrameView vncClientBuffer::MainView() const
{
    FrameView v;
    v.data = m_main;
    v.size = m_main ? m_bufferSize : 0;
    v.stride = m_bytesPerRow;
    v.width = m_main ? m_screen.width : 0;
    v.height = m_main ? m_screen.height : 0;
    return v;
}

bool vncClientBuffer::TakeCursorShapeChanged()
{
    const bool v = m_cursorShapeChanged;
    m_cursorShapeChanged = false;
    return v;
}

bool vncClientBuffer::TakeCursorRefresh()
{
    const bool v = m_cursorRefresh;
    m_cursorRefresh = false;
    return v;
}
