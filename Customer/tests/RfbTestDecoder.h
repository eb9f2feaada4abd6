// A viewer-side decoder for tests, written from RFC 6143 (messages, Raw,
// CopyRect, Hextile, ZRLE, cursor pseudo-encodings, LastRect, NewFBSize) and
// the product's additions (start reply, resize messages, cache rectangles).
// It shares no code with the host: it has its own byte reader, pixel reader
// and inflater, and rebuilds the frame buffer as pixel values of the viewer's
// format so tests can compare it with the source frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct z_stream_s;

namespace testrfb {

struct Format {
    int bpp = 32;
    int depth = 24;
    bool bigEndian = false;
    bool trueColour = true;
    unsigned redMax = 255, greenMax = 255, blueMax = 255;
    unsigned redShift = 16, greenShift = 8, blueShift = 0;
};

struct DecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where the decoder's bytes come from; read throws DecodeError when the bytes
// cannot be had.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual void read(void* data, size_t n) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    void read(void* data, size_t n) override;
    size_t remaining() const { return m_size - m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

struct RectInfo {
    int x, y, w, h;
    int32_t encoding;
    int srcX = 0, srcY = 0;  // a CopyRect's source
};

struct CursorShape {
    int32_t encoding = 0;
    int hotX = 0, hotY = 0, w = 0, h = 0;
    std::vector<uint8_t> mask;
    std::vector<uint8_t> bitmap;
};

class Decoder {
public:
    Decoder(const Format& format, int width, int height);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Reads one host message; returns its type. Framebuffer updates are
    // applied to the frame buffer; the others are recorded below.
    int readMessage(ByteSource& in);
    // Reads one rectangle (header and body) and applies it.
    RectInfo readRect(ByteSource& in);

    uint32_t pixel(int x, int y) const { return m_fb[static_cast<size_t>(y) * m_width + x]; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    const Format& format() const { return m_format; }
    void setFormat(const Format& f) { m_format = f; }

    // What the messages carried.
    std::vector<RectInfo> lastUpdateRects;
    uint16_t lastUpdateCount = 0;  // as the header said (0xFFFF: unknown)
    int startToken = -1;
    std::vector<uint8_t> startFormat;
    std::string cutText;
    int resizeW = 0, resizeH = 0, fullW = 0, fullH = 0;
    uint16_t colourMap[256][3] = {};
    bool colourMapSeen = false;
    CursorShape cursor;
    int cacheRects = 0;
    std::vector<uint16_t> cacheZipRecords;
    uint32_t cacheZipLength = 0;

private:
    uint32_t readPixel(const uint8_t* p) const;
    uint32_t readCPixel(ByteSource& in) const;
    int cpixelBytes() const;
    bool fitsLow() const;
    bool fitsHigh() const;
    void fill(int x, int y, int w, int h, uint32_t v);
    void decodeRaw(ByteSource& in, const RectInfo& r);
    void decodeHextile(ByteSource& in, const RectInfo& r);
    void decodeZrle(ByteSource& in, const RectInfo& r);
    void decodeCopy(ByteSource& in, RectInfo& r);
    void decodeCursor(ByteSource& in, const RectInfo& r);
    void decodeCacheZip(ByteSource& in, const RectInfo& r);
    void inflateAll(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, z_stream_s* zs);

    Format m_format;
    int m_width, m_height;
    std::vector<uint32_t> m_fb;
    z_stream_s* m_zrle = nullptr;
};

} // namespace testrfb
