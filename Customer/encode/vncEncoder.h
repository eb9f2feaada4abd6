// Base of the host's encoders, and itself the Raw encoder. An encoder turns
// one rectangle of the host's frame buffer (local pixel format) into a whole
// rectangle on the wire (12-byte header and body) in the viewer's format.
// Failures while encoding throw rdr::Exception; the update sender ends the
// session on them.
#pragma once

#include "Customer/encode/FrameView.h"
#include "rfb/OutStream.h"
#include "rfb/Translate.h"

#include <cstdint>
#include <vector>

// A cursor as the desktop hands it to the encoders: pixels in the local format
// (packed rows), the visibility mask and the XCursor source plane, both
// ((width + 7) / 8) bytes per row, most significant bit first.
struct CursorImage {
    int hotX = 0;
    int hotY = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> mask;
    std::vector<uint8_t> source;

    size_t MaskBytes() const { return static_cast<size_t>((width + 7) / 8) * static_cast<size_t>(height); }
    bool IsConsistent(int localBytesPerPixel) const;
};

class vncEncoder {
public:
    vncEncoder() = default;
    virtual ~vncEncoder() = default;
    vncEncoder(const vncEncoder&) = delete;
    vncEncoder& operator=(const vncEncoder&) = delete;

    // Clears the statistics counters.
    virtual void Init();
    // Rectangles one changed rectangle becomes; 0 when not known in advance.
    virtual int NumCodedRects(const rfb::Rect&) const { return 1; }
    // Encodes r (frame-buffer coordinates) from src; returns the bytes written.
    virtual size_t EncodeRect(const FrameView& src, rdr::OutStream& out, const rfb::Rect& r);
    // Called at the end of an update before its LastRect rectangle.
    virtual void EndOfUpdate(rdr::OutStream&) {}

    // The local format (and screen size), the viewer's format and, for a
    // palette display, the system palette; SetTranslateFunction builds the
    // translation from them. False when the pair cannot be served.
    void SetLocalFormat(const rfb::PixelFormat& pf, int width, int height);
    void SetRemoteFormat(const rfb::PixelFormat& pf) { m_remote = pf; }
    void SetLocalPalette(const rfb::PaletteEntry* entries, size_t count);
    bool SetTranslateFunction();
    const rfb::PixelFormat& LocalFormat() const { return m_local; }
    const rfb::PixelFormat& RemoteFormat() const { return m_remote; }
    // Bytes per pixel of what goes on the wire.
    int RemoteBytesPerPixel() const { return m_out.bytesPerPixel(); }

    // The viewer's colour map when it uses one: 256 entries, red, green, blue.
    bool GetRemotePalette(rfb::PaletteEntry entries[256]) const;

    void SetCaptureOrigin(int x, int y)
    {
        m_originX = x;
        m_originY = y;
    }
    void SetCompressLevel(int level) { m_compressLevel = level; }
    void SetQualityLevel(int level) { m_qualityLevel = level; }
    void SetLastRectAllowed(bool on) { m_lastRect = on; }
    void EnableXCursor(bool on) { m_xCursor = on; }
    void EnableRichCursor(bool on) { m_richCursor = on; }
    bool IsXCursorSupported() const { return m_xCursor; }
    bool IsRichCursorSupported() const { return m_richCursor; }
    int CompressLevel() const { return m_compressLevel; }
    int QualityLevel() const { return m_qualityLevel; }
    bool LastRectAllowed() const { return m_lastRect; }

    // Cursor shape rectangle (XCursor when on, else RichCursor); false, with
    // nothing written, when neither is on or the image is not usable.
    bool SendCursorShape(rdr::OutStream& out, const CursorImage& cursor);
    // The empty shape: a header of zero size and no body.
    bool SendEmptyCursorShape(rdr::OutStream& out);

    // Rectangles and bytes encoded since Init.
    uint64_t RectsSent() const { return m_rects; }
    uint64_t BytesSent() const { return m_bytes; }

protected:
    void WriteHeader(rdr::OutStream& out, const rfb::Rect& r, int32_t encoding) const;
    // Translates r of src into packed viewer-format pixels in m_work; throws
    // when r does not lie inside src.
    const uint8_t* TranslateToWork(const FrameView& src, const rfb::Rect& r);
    void Count(size_t bytes)
    {
        ++m_rects;
        m_bytes += bytes;
    }

    rfb::PixelFormat m_local;
    rfb::PixelFormat m_remote;
    // The format pixels are translated into: the viewer's, or BGR233 for a
    // viewer with a colour map.
    rfb::PixelFormat m_out;
    int m_screenWidth = 0;
    int m_screenHeight = 0;
    int m_originX = 0;
    int m_originY = 0;
    int m_compressLevel = 6;
    int m_qualityLevel = -1;
    bool m_lastRect = false;
    bool m_xCursor = false;
    bool m_richCursor = false;
    std::vector<uint8_t> m_work;

private:
    rfb::TranslateFn m_translate = nullptr;
    std::vector<uint8_t> m_table8;
    std::vector<uint16_t> m_table16;
    std::vector<uint32_t> m_table32;
    const void* m_table = nullptr;
    std::vector<rfb::PaletteEntry> m_localPalette;
    uint64_t m_rects = 0;
    uint64_t m_bytes = 0;
};
