#include "Customer/tests/RfbTestDecoder.h"

#include <zlib.h>

#include <cstring>

namespace testrfb {

namespace {

uint8_t u8(ByteSource& in)
{
    uint8_t v;
    in.read(&v, 1);
    return v;
}
uint16_t u16(ByteSource& in)
{
    uint8_t b[2];
    in.read(b, 2);
    return static_cast<uint16_t>(b[0] << 8 | b[1]);
}
uint32_t u32(ByteSource& in)
{
    uint8_t b[4];
    in.read(b, 4);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}
void skip(ByteSource& in, size_t n)
{
    uint8_t b[64];
    while (n > 0) {
        const size_t k = n < sizeof b ? n : sizeof b;
        in.read(b, k);
        n -= k;
    }
}

// A byte source over an inflated buffer.
class BufferSource : public ByteSource {
public:
    explicit BufferSource(const std::vector<uint8_t>& b) : m_b(b) {}
    void read(void* data, size_t n) override
    {
        if (m_b.size() - m_pos < n)
            throw DecodeError("ZRLE data ends inside a tile");
        std::memcpy(data, m_b.data() + m_pos, n);
        m_pos += n;
    }
    bool atEnd() const { return m_pos == m_b.size(); }

private:
    const std::vector<uint8_t>& m_b;
    size_t m_pos = 0;
};

} // namespace

void MemorySource::read(void* data, size_t n)
{
    if (m_size - m_pos < n)
        throw DecodeError("message ends early");
    std::memcpy(data, m_data + m_pos, n);
    m_pos += n;
}

Decoder::Decoder(const Format& format, int width, int height)
    : m_format(format), m_width(width), m_height(height), m_fb(static_cast<size_t>(width) * height, 0)
{
}

Decoder::~Decoder()
{
    if (m_zrle) {
        inflateEnd(m_zrle);
        delete m_zrle;
    }
}

uint32_t Decoder::readPixel(const uint8_t* p) const
{
    switch (m_format.bpp) {
    case 8:
        return p[0];
    case 16:
        return m_format.bigEndian ? uint32_t(p[0] << 8 | p[1]) : uint32_t(p[1] << 8 | p[0]);
    default:
        return m_format.bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                                  : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    }
}

// RFC 6143 7.7.6 makes a CPIXEL 3 bytes for 32-bit pixels whose channels
// all fit in the low or the high three bytes; the RFC also asks for true
// colour and depth 24 or less, which this protocol's two sides agree to
// ignore (a host's own 32-bit format says depth 32), so only the fit counts.
bool Decoder::fitsLow() const
{
    const uint64_t limit = uint64_t(1) << 24;
    return (uint64_t(m_format.redMax) << m_format.redShift) < limit &&
           (uint64_t(m_format.greenMax) << m_format.greenShift) < limit &&
           (uint64_t(m_format.blueMax) << m_format.blueShift) < limit;
}

bool Decoder::fitsHigh() const
{
    return m_format.redShift > 7 && m_format.greenShift > 7 && m_format.blueShift > 7;
}

int Decoder::cpixelBytes() const
{
    if (m_format.bpp != 32)
        return m_format.bpp / 8;
    return fitsLow() || fitsHigh() ? 3 : 4;
}

uint32_t Decoder::readCPixel(ByteSource& in) const
{
    uint8_t b[4] = {0, 0, 0, 0};
    if (cpixelBytes() != 3) {
        in.read(b, static_cast<size_t>(m_format.bpp / 8));
        return readPixel(b);
    }
    uint8_t c[3];
    in.read(c, 3);
    // The three bytes are the first three of the 4-byte wire pixel when they
    // hold its significant end: the low bytes of a little-endian pixel, the
    // high bytes of a big-endian one; otherwise its last three. A pixel whose
    // channels fit both ways is read by its byte order's own first choice.
    const bool firstThree = m_format.bigEndian ? fitsHigh() : fitsLow();
    if (!firstThree)
        std::memcpy(b + 1, c, 3);
    else
        std::memcpy(b, c, 3);
    return readPixel(b);
}

void Decoder::fill(int x, int y, int w, int h, uint32_t v)
{
    if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > m_width || y + h > m_height)
        throw DecodeError("fill outside the frame buffer");
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            m_fb[static_cast<size_t>(j) * m_width + i] = v;
}

int Decoder::readMessage(ByteSource& in)
{
    const int type = u8(in);
    switch (type) {
    case 0: {
        skip(in, 1);
        const uint16_t count = u16(in);
        lastUpdateCount = count;
        lastUpdateRects.clear();
        for (uint32_t i = 0; count == 0xFFFF || i < count; ++i) {
            const RectInfo r = readRect(in);
            lastUpdateRects.push_back(r);
            if (r.encoding == -224)
                break;
        }
        return type;
    }
    case 1: {
        skip(in, 1);
        const uint16_t first = u16(in);
        const uint16_t n = u16(in);
        if (first + n > 256)
            throw DecodeError("colour map too long");
        for (int i = first; i < first + n; ++i)
            for (int c = 0; c < 3; ++c)
                colourMap[i][c] = u16(in);
        colourMapSeen = true;
        return type;
    }
    case 3: {
        skip(in, 3);
        const uint32_t n = u32(in);
        if (n > (1u << 24))
            throw DecodeError("cut text too long");
        cutText.assign(n, '\0');
        if (n)
            in.read(&cutText[0], n);
        return type;
    }
    case 4:
        skip(in, 1);
        resizeW = u16(in);
        resizeH = u16(in);
        return type;
    case 15:
        skip(in, 1);
        fullW = u16(in);
        fullH = u16(in);
        resizeW = u16(in);
        resizeH = u16(in);
        skip(in, 2);
        return type;
    case 73: {
        startToken = u8(in);
        const int w = u16(in), h = u16(in);
        startFormat.assign(16, 0);
        in.read(startFormat.data(), 16);
        skip(in, 2);
        if (u32(in) != 0)
            throw DecodeError("start reply carries a name");
        m_width = w;
        m_height = h;
        m_fb.assign(static_cast<size_t>(w) * h, 0);
        return type;
    }
    case 10:
    case 76:
    case 77:
        return type;
    default:
        throw DecodeError("unknown host message type " + std::to_string(type));
    }
}

RectInfo Decoder::readRect(ByteSource& in)
{
    RectInfo r;
    r.x = u16(in);
    r.y = u16(in);
    r.w = u16(in);
    r.h = u16(in);
    r.encoding = static_cast<int32_t>(u32(in));
    switch (r.encoding) {
    case 0:
        decodeRaw(in, r);
        break;
    case 1:
        decodeCopy(in, r);
        break;
    case 5:
        decodeHextile(in, r);
        break;
    case 16:
        decodeZrle(in, r);
        break;
    case -239:
    case -240:
        decodeCursor(in, r);
        break;
    case -223:
        m_width = r.w;
        m_height = r.h;
        m_fb.assign(static_cast<size_t>(r.w) * r.h, 0);
        break;
    case -224:
        if (r.x || r.y || r.w || r.h)
            throw DecodeError("LastRect with a non-zero rectangle");
        break;
    case static_cast<int32_t>(0xFFFF0000u):
        if (u16(in) != 9999)
            throw DecodeError("cache rectangle without its marker");
        ++cacheRects;
        break;
    case static_cast<int32_t>(0xFFFF0007u):
        decodeCacheZip(in, r);
        break;
    default:
        throw DecodeError("unknown encoding " + std::to_string(r.encoding));
    }
    return r;
}

void Decoder::decodeRaw(ByteSource& in, const RectInfo& r)
{
    const size_t bpp = static_cast<size_t>(m_format.bpp / 8);
    std::vector<uint8_t> row(static_cast<size_t>(r.w) * bpp);
    if (r.x + r.w > m_width || r.y + r.h > m_height)
        throw DecodeError("raw rectangle outside the frame buffer");
    for (int y = 0; y < r.h; ++y) {
        if (!row.empty())
            in.read(row.data(), row.size());
        for (int x = 0; x < r.w; ++x)
            m_fb[static_cast<size_t>(r.y + y) * m_width + r.x + x] = readPixel(&row[static_cast<size_t>(x) * bpp]);
    }
}

void Decoder::decodeCopy(ByteSource& in, RectInfo& r)
{
    const int sx = u16(in), sy = u16(in);
    r.srcX = sx;
    r.srcY = sy;
    if (sx + r.w > m_width || sy + r.h > m_height || r.x + r.w > m_width || r.y + r.h > m_height)
        throw DecodeError("copy outside the frame buffer");
    std::vector<uint32_t> tmp(static_cast<size_t>(r.w) * r.h);
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x)
            tmp[static_cast<size_t>(y) * r.w + x] = pixel(sx + x, sy + y);
    for (int y = 0; y < r.h; ++y)
        for (int x = 0; x < r.w; ++x)
            m_fb[static_cast<size_t>(r.y + y) * m_width + r.x + x] = tmp[static_cast<size_t>(y) * r.w + x];
}

void Decoder::decodeHextile(ByteSource& in, const RectInfo& r)
{
    const size_t bpp = static_cast<size_t>(m_format.bpp / 8);
    bool bgKnown = false, fgKnown = false;
    uint32_t bg = 0, fg = 0;
    uint8_t buf[4];
    for (int ty = r.y; ty < r.y + r.h; ty += 16) {
        const int th = r.y + r.h - ty < 16 ? r.y + r.h - ty : 16;
        for (int tx = r.x; tx < r.x + r.w; tx += 16) {
            const int tw = r.x + r.w - tx < 16 ? r.x + r.w - tx : 16;
            const uint8_t sub = u8(in);
            if (sub & 1) {
                RectInfo raw{tx, ty, tw, th, 0};
                decodeRaw(in, raw);
                bgKnown = fgKnown = false;
                continue;
            }
            if (sub & 2) {
                in.read(buf, bpp);
                bg = readPixel(buf);
                bgKnown = true;
            }
            if (!bgKnown)
                throw DecodeError("hextile tile relies on an unknown background");
            if (sub & 4) {
                in.read(buf, bpp);
                fg = readPixel(buf);
                fgKnown = true;
            }
            fill(tx, ty, tw, th, bg);
            if (sub & 8) {
                const int n = u8(in);
                for (int i = 0; i < n; ++i) {
                    uint32_t colour;
                    if (sub & 16) {
                        in.read(buf, bpp);
                        colour = readPixel(buf);
                    } else {
                        if (!fgKnown)
                            throw DecodeError("hextile subrect relies on an unknown foreground");
                        colour = fg;
                    }
                    const uint8_t xy = u8(in), wh = u8(in);
                    const int sx = xy >> 4, sy = xy & 15, sw = (wh >> 4) + 1, sh = (wh & 15) + 1;
                    if (sx + sw > tw || sy + sh > th)
                        throw DecodeError("hextile subrect outside its tile");
                    fill(tx + sx, ty + sy, sw, sh, colour);
                }
            }
            if (sub & 16)
                fgKnown = false;
        }
    }
}

void Decoder::inflateAll(const std::vector<uint8_t>& in, std::vector<uint8_t>& out, z_stream_s* zs)
{
    out.clear();
    zs->next_in = const_cast<uint8_t*>(in.data());
    zs->avail_in = static_cast<uInt>(in.size());
    uint8_t chunk[16384];
    while (zs->avail_in > 0) {
        zs->next_out = chunk;
        zs->avail_out = sizeof chunk;
        const int rc = inflate(zs, Z_SYNC_FLUSH);
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            throw DecodeError("inflate failed");
        out.insert(out.end(), chunk, chunk + (sizeof chunk - zs->avail_out));
        if (rc == Z_BUF_ERROR && zs->avail_out != 0)
            break;
    }
    // Drain what inflate still holds.
    for (;;) {
        zs->next_out = chunk;
        zs->avail_out = sizeof chunk;
        const int rc = inflate(zs, Z_SYNC_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - zs->avail_out));
        if (rc != Z_OK || zs->avail_out != 0)
            break;
    }
}

void Decoder::decodeZrle(ByteSource& in, const RectInfo& r)
{
    const uint32_t length = u32(in);
    if (length > (1u << 28))
        throw DecodeError("ZRLE length too large");
    std::vector<uint8_t> data(length);
    if (length)
        in.read(data.data(), length);
    if (!m_zrle) {
        m_zrle = new z_stream_s();
        if (inflateInit(m_zrle) != Z_OK)
            throw DecodeError("inflateInit failed");
    }
    std::vector<uint8_t> plain;
    inflateAll(data, plain, m_zrle);
    BufferSource src(plain);
    if (r.x + r.w > m_width || r.y + r.h > m_height)
        throw DecodeError("ZRLE rectangle outside the frame buffer");

    for (int ty = r.y; ty < r.y + r.h; ty += 64) {
        const int th = r.y + r.h - ty < 64 ? r.y + r.h - ty : 64;
        for (int tx = r.x; tx < r.x + r.w; tx += 64) {
            const int tw = r.x + r.w - tx < 64 ? r.x + r.w - tx : 64;
            const int sub = u8(src);
            const size_t n = static_cast<size_t>(tw) * th;
            std::vector<uint32_t> t(n);
            if (sub == 0) {
                for (auto& p : t)
                    p = readCPixel(src);
            } else if (sub == 1) {
                const uint32_t p = readCPixel(src);
                for (auto& q : t)
                    q = p;
            } else if (sub >= 2 && sub <= 16) {
                std::vector<uint32_t> pal(static_cast<size_t>(sub));
                for (auto& p : pal)
                    p = readCPixel(src);
                const int bits = sub == 2 ? 1 : sub <= 4 ? 2 : 4;
                for (int y = 0; y < th; ++y) {
                    int have = 0;
                    uint8_t byte = 0;
                    for (int x = 0; x < tw; ++x) {
                        if (have == 0) {
                            byte = u8(src);
                            have = 8;
                        }
                        const unsigned idx = (byte >> (have - bits)) & ((1u << bits) - 1);
                        have -= bits;
                        if (idx >= pal.size())
                            throw DecodeError("packed palette index out of range");
                        t[static_cast<size_t>(y) * tw + x] = pal[idx];
                    }
                }
            } else if (sub == 128 || sub >= 130) {
                std::vector<uint32_t> pal;
                if (sub >= 130) {
                    pal.resize(static_cast<size_t>(sub - 128));
                    for (auto& p : pal)
                        p = readCPixel(src);
                }
                size_t i = 0;
                while (i < n) {
                    uint32_t colour;
                    size_t run = 1;
                    if (sub == 128) {
                        colour = readCPixel(src);
                        run = 0;
                    } else {
                        const uint8_t idx = u8(src);
                        if ((idx & 127) >= pal.size())
                            throw DecodeError("palette RLE index out of range");
                        colour = pal[idx & 127];
                        if (!(idx & 128))
                            run = 1;
                        else
                            run = 0;
                    }
                    if (run == 0) {
                        size_t len = 1;
                        uint8_t b;
                        do {
                            b = u8(src);
                            len += b;
                        } while (b == 255);
                        run = len;
                    }
                    if (run > n - i)
                        throw DecodeError("ZRLE run past the tile");
                    for (size_t k = 0; k < run; ++k)
                        t[i++] = colour;
                }
            } else {
                throw DecodeError("unused ZRLE sub-encoding " + std::to_string(sub));
            }
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < tw; ++x)
                    m_fb[static_cast<size_t>(ty + y) * m_width + tx + x] = t[static_cast<size_t>(y) * tw + x];
        }
    }
    if (!src.atEnd())
        throw DecodeError("ZRLE data left over after the rectangle");
}

void Decoder::decodeCursor(ByteSource& in, const RectInfo& r)
{
    cursor = CursorShape();
    cursor.encoding = r.encoding;
    cursor.hotX = r.x;
    cursor.hotY = r.y;
    cursor.w = r.w;
    cursor.h = r.h;
    if (r.w == 0 || r.h == 0)
        return;
    const size_t maskBytes = static_cast<size_t>((r.w + 7) / 8) * r.h;
    if (r.encoding == -240) {
        skip(in, 6);
        cursor.bitmap.resize(maskBytes);
        in.read(cursor.bitmap.data(), maskBytes);
    } else {
        cursor.bitmap.resize(static_cast<size_t>(r.w) * r.h * (m_format.bpp / 8));
        in.read(cursor.bitmap.data(), cursor.bitmap.size());
    }
    cursor.mask.resize(maskBytes);
    in.read(cursor.mask.data(), maskBytes);
}

void Decoder::decodeCacheZip(ByteSource& in, const RectInfo& r)
{
    if (r.y || r.w || r.h)
        throw DecodeError("CacheZip header with a non-zero position or size");
    const uint32_t length = u32(in);
    if (length > (1u << 24))
        throw DecodeError("CacheZip length too large");
    cacheZipLength = length;
    std::vector<uint8_t> data(length);
    if (length)
        in.read(data.data(), length);
    uLongf outLen = static_cast<uLongf>(r.x) * 8;
    std::vector<uint8_t> out(outLen ? outLen : 1);
    if (uncompress(out.data(), &outLen, data.data(), length) != Z_OK || outLen != static_cast<uLongf>(r.x) * 8)
        throw DecodeError("CacheZip body does not inflate to its records");
    cacheZipRecords.clear();
    for (size_t i = 0; i + 1 < outLen; i += 2)
        cacheZipRecords.push_back(static_cast<uint16_t>(out[i] << 8 | out[i + 1]));
}

} // namespace testrfb
