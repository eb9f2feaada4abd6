#include "Technician/decode/tests/TestEncoders.h"

#include <lzo/lzo1x.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <jpeglib.h>
#include <map>
#include <set>
#include <stdexcept>

namespace testdecode {

Deflater::Deflater(int level) : m_zs(new z_stream_s()), m_level(level)
{
    if (deflateInit(m_zs.get(), m_level) != Z_OK)
        throw std::runtime_error("deflateInit");
}

Deflater::~Deflater()
{
    deflateEnd(m_zs.get());
}

void Deflater::reset()
{
    deflateEnd(m_zs.get());
    *m_zs = z_stream_s();
    deflateInit(m_zs.get(), m_level);
}

Bytes Deflater::compress(const Bytes& in)
{
    Bytes out(deflateBound(m_zs.get(), in.size()) + 64);
    m_zs->next_in = const_cast<Bytef*>(in.data());
    m_zs->avail_in = static_cast<uInt>(in.size());
    m_zs->next_out = out.data();
    m_zs->avail_out = static_cast<uInt>(out.size());
    if (deflate(m_zs.get(), Z_SYNC_FLUSH) != Z_OK || m_zs->avail_in != 0)
        throw std::runtime_error("deflate");
    out.resize(out.size() - m_zs->avail_out);
    return out;
}

Bytes ZlibOnce(const Bytes& in)
{
    uLongf n = compressBound(in.size());
    Bytes out(n);
    compress2(out.data(), &n, in.data(), in.size(), 6);
    out.resize(n);
    return out;
}

Bytes Lzo(const Bytes& in)
{
    static const bool ready = lzo_init() == LZO_E_OK;
    if (!ready)
        throw std::runtime_error("lzo_init");
    Bytes out(in.size() + in.size() / 16 + 64 + 3);
    std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
    lzo_uint n = out.size();
    lzo1x_1_compress(in.data(), in.size(), out.data(), &n, work.data());
    out.resize(n);
    return out;
}

Bytes RawPixels(const ClientImage& img, const rfb::Rect& r)
{
    Bytes b;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            PutPixel(b, img.pf, img.at(x, y));
    return b;
}

Bytes EncodeRaw(const ClientImage& img, const rfb::Rect& r)
{
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::Raw);
    Append(b, RawPixels(img, r));
    return b;
}

Bytes EncodeRre(const ClientImage& img, const rfb::Rect& r, bool compact)
{
    // Background: the corner pixel; sub-rectangles: the runs of other
    // colours in each row, one pixel high.
    const uint32_t bg = img.at(r.left, r.top);
    Bytes subs;
    uint32_t count = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right;) {
            const uint32_t v = img.at(x, y);
            int end = x + 1;
            while (end < r.right && img.at(end, y) == v)
                ++end;
            if (v != bg) {
                PutPixel(subs, img.pf, v);
                const unsigned sx = static_cast<unsigned>(x - r.left), sy = static_cast<unsigned>(y - r.top);
                const unsigned sw = static_cast<unsigned>(end - x);
                if (compact) {
                    PutU8(subs, sx), PutU8(subs, sy), PutU8(subs, sw), PutU8(subs, 1);
                } else {
                    PutU16(subs, sx), PutU16(subs, sy), PutU16(subs, sw), PutU16(subs, 1);
                }
                ++count;
            }
            x = end;
        }
    }
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), compact ? enc::CoRRE : enc::RRE);
    PutU32(b, count);
    PutPixel(b, img.pf, bg);
    Append(b, subs);
    return b;
}

Bytes EncodeSolid(const ClientImage& img, const rfb::Rect& r)
{
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::Solid);
    PutPixel(b, img.pf, img.at(r.left, r.top));
    return b;
}

Bytes EncodeUltra(const ClientImage& img, const rfb::Rect& r)
{
    const Bytes packed = Lzo(RawPixels(img, r));
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::Ultra);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    return b;
}

namespace {

std::vector<rfb::Rect> cells(const rfb::Rect& r, int cell)
{
    std::vector<rfb::Rect> out;
    for (int y = r.top; y < r.bottom; y += cell)
        for (int x = r.left; x < r.right; x += cell)
            out.push_back(rfb::Rect(x, y, std::min(x + cell, r.right), std::min(y + cell, r.bottom)));
    return out;
}

// Header of a batch: x = count, w * 65535 + y = decompressed size.
Bytes batchHeader(size_t count, size_t size, int32_t encoding)
{
    Bytes b;
    PutHeader(b, static_cast<int>(count), static_cast<int>(size % 65535), static_cast<int>(size / 65535), 0,
              encoding);
    return b;
}

void subHeader(Bytes& b, const rfb::Rect& r, int32_t encoding)
{
    PutHeader(b, r.left, r.top, r.width(), r.height(), encoding);
}

Bytes mask(const rfb::Rect& r, const std::function<bool(int, int)>& set)
{
    Bytes m((static_cast<size_t>(r.width()) * static_cast<size_t>(r.height()) + 7) / 8);
    size_t i = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x, ++i)
            if (set(x, y))
                m[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    return m;
}

} // namespace

Bytes EncodeUltraZip(const ClientImage& img, const rfb::Rect& r, int cell)
{
    Bytes data;
    const std::vector<rfb::Rect> parts = cells(r, cell);
    for (const rfb::Rect& c : parts) {
        subHeader(data, c, enc::Raw);
        Append(data, RawPixels(img, c));
    }
    const Bytes packed = Lzo(data);
    Bytes b = batchHeader(parts.size(), data.size(), enc::UltraZip);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    return b;
}

Bytes EncodeSolMonoZip(const ClientImage& img, const rfb::Rect& r, int cell)
{
    Bytes data;
    const std::vector<rfb::Rect> parts = cells(r, cell);
    for (const rfb::Rect& c : parts) {
        std::set<uint32_t> colours;
        for (int y = c.top; y < c.bottom; ++y)
            for (int x = c.left; x < c.right; ++x)
                colours.insert(img.at(x, y));
        if (colours.size() == 1) {
            subHeader(data, c, enc::Solid);
            PutPixel(data, img.pf, *colours.begin());
        } else if (colours.size() == 2) {
            const uint32_t first = img.at(c.left, c.top);
            const uint32_t second = *colours.begin() == first ? *colours.rbegin() : *colours.begin();
            subHeader(data, c, enc::XorMono);
            Append(data, mask(c, [&](int x, int y) { return img.at(x, y) != first; }));
            PutPixel(data, img.pf, first);
            PutPixel(data, img.pf, second);
        } else {
            subHeader(data, c, enc::Raw);
            Append(data, RawPixels(img, c));
        }
    }
    const Bytes packed = ZlibOnce(data);
    Bytes b = batchHeader(parts.size(), data.size(), enc::SolMonoZip);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    return b;
}

Bytes EncodeCache(const rfb::Rect& r)
{
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::Cache);
    PutU16(b, 0);
    return b;
}

Bytes EncodeCacheZip(const std::vector<rfb::Rect>& areas)
{
    Bytes records;
    for (const rfb::Rect& a : areas) {
        PutU16(records, static_cast<unsigned>(a.left));
        PutU16(records, static_cast<unsigned>(a.top));
        PutU16(records, static_cast<unsigned>(a.width()));
        PutU16(records, static_cast<unsigned>(a.height()));
    }
    const Bytes packed = ZlibOnce(records);
    Bytes b;
    PutHeader(b, static_cast<int>(areas.size()), 0, 0, 0, enc::CacheZip);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    return b;
}

Bytes ZlibEncoder::wrap(const rfb::Rect& r, int32_t encoding, const Bytes& data)
{
    const Bytes packed = m_stream.compress(data);
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), encoding);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    return b;
}

Bytes ZlibEncoder::zlib(const ClientImage& img, const rfb::Rect& r)
{
    return wrap(r, enc::Zlib, RawPixels(img, r));
}

Bytes ZlibEncoder::xorZlib(const ClientImage& before, const ClientImage& img, const rfb::Rect& r)
{
    auto changed = [&](int x, int y) { return img.at(x, y) != before.at(x, y); };
    Bytes data = mask(r, changed);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (changed(x, y))
                PutPixel(data, img.pf, img.at(x, y));
    return wrap(r, enc::XorZlib, data);
}

Bytes ZlibEncoder::xorMulti(const ClientImage& img, const rfb::Rect& r)
{
    const uint32_t bg = img.at(r.left, r.top);
    auto other = [&](int x, int y) { return img.at(x, y) != bg; };
    Bytes data = mask(r, other);
    PutPixel(data, img.pf, bg);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (other(x, y))
                PutPixel(data, img.pf, img.at(x, y));
    return wrap(r, enc::XorMulti, data);
}

Bytes ZlibEncoder::xorMono(const ClientImage& img, const rfb::Rect& r)
{
    const uint32_t first = img.at(r.left, r.top);
    uint32_t second = first;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (img.at(x, y) != first)
                second = img.at(x, y);
    Bytes data = mask(r, [&](int x, int y) { return img.at(x, y) != first; });
    PutPixel(data, img.pf, first);
    PutPixel(data, img.pf, second);
    return wrap(r, enc::XorMono, data);
}

Bytes ZlibHexEncoder::encode(const ClientImage& img, const rfb::Rect& r)
{
    // Tiles take turns: plain raw, zlib raw (0x20), zlib Hextile (0x40) with
    // coloured one-pixel-high runs, plain Hextile; solid tiles are plain
    // background tiles.
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::ZlibHex);
    for (const rfb::Rect& t : cells(r, 16)) {
        const uint32_t bg = img.at(t.left, t.top);
        bool solid = true;
        for (int y = t.top; y < t.bottom; ++y)
            for (int x = t.left; x < t.right; ++x)
                solid = solid && img.at(x, y) == bg;
        if (solid) {
            PutU8(b, 2);
            PutPixel(b, img.pf, bg);
            continue;
        }
        Bytes runs;
        unsigned count = 0;
        for (int y = t.top; y < t.bottom; ++y)
            for (int x = t.left; x < t.right;) {
                int end = x + 1;
                while (end < t.right && img.at(end, y) == img.at(x, y))
                    ++end;
                if (img.at(x, y) != bg) {
                    PutPixel(runs, img.pf, img.at(x, y));
                    PutU8(runs, static_cast<unsigned>((x - t.left) << 4 | (y - t.top)));
                    PutU8(runs, static_cast<unsigned>((end - x - 1) << 4));
                    ++count;
                }
                x = end;
            }
        const unsigned turn = m_tiles++ % 4;
        if (turn == 0 || count > 255) {
            PutU8(b, 1);
            Append(b, RawPixels(img, t));
        } else if (turn == 1) {
            const Bytes packed = m_raw.compress(RawPixels(img, t));
            PutU8(b, 0x20);
            PutU16(b, static_cast<unsigned>(packed.size()));
            Append(b, packed);
        } else {
            Bytes body;
            PutPixel(body, img.pf, bg);
            PutU8(body, count);
            Append(body, runs);
            const unsigned sub = 2 | 8 | 16;
            if (turn == 2) {
                const Bytes packed = m_hex.compress(body);
                PutU8(b, 0x40 | sub);
                PutU16(b, static_cast<unsigned>(packed.size()));
                Append(b, packed);
            } else {
                PutU8(b, sub);
                Append(b, body);
            }
        }
    }
    return b;
}

void TightEncoder::PutCompactLength(Bytes& b, size_t n)
{
    PutU8(b, (n & 0x7F) | (n > 0x7F ? 0x80 : 0));
    if (n > 0x7F) {
        PutU8(b, (n >> 7 & 0x7F) | (n > 0x3FFF ? 0x80 : 0));
        if (n > 0x3FFF)
            PutU8(b, n >> 14);
    }
}

Bytes TightEncoder::Jpeg(const ClientImage& img, const rfb::Rect& r, int quality)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(r.width());
    c.image_height = static_cast<JDIMENSION>(r.height());
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(r.width()) * 3);
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const uint32_t rgb = Rule1(img.at(x, y), img.pf);
            JSAMPLE* p = &row[static_cast<size_t>(x - r.left) * 3];
            p[0] = static_cast<JSAMPLE>(rgb >> 16), p[1] = static_cast<JSAMPLE>(rgb >> 8), p[2] = static_cast<JSAMPLE>(rgb);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes b(out, out + size);
    free(out);
    return b;
}

Bytes TightEncoder::encode(const ClientImage& img, const rfb::Rect& r, const TightOptions& o)
{
    const rfb::PixelFormat& pf = img.pf;
    const bool rgb24 = pf.bitsPerPixel == 32 && pf.depth == 24 && pf.redMax == 255 && pf.greenMax == 255 &&
                       pf.blueMax == 255;
    auto tpixel = [&](Bytes& b, uint32_t v) {
        if (!rgb24)
            return PutPixel(b, pf, v);
        PutU8(b, v >> pf.redShift), PutU8(b, v >> pf.greenShift), PutU8(b, v >> pf.blueShift);
    };
    for (int i = 0; i < 4; ++i)
        if (o.resets >> i & 1)
            m_streams[i].reset();
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::Tight);
    if (o.jpeg) {
        const Bytes jpeg = Jpeg(img, r, o.quality);
        PutU8(b, 0x90 | o.resets);
        PutCompactLength(b, jpeg.size());
        Append(b, jpeg);
        return b;
    }
    std::map<uint32_t, unsigned> palette;
    for (int y = r.top; y < r.bottom && palette.size() <= 16; ++y)
        for (int x = r.left; x < r.right; ++x)
            palette.emplace(img.at(x, y), 0);
    if (palette.size() == 1) {
        PutU8(b, 0x80 | o.resets);
        tpixel(b, img.at(r.left, r.top));
        return b;
    }
    Bytes data;
    unsigned stream;
    if (palette.size() <= 16) {
        stream = 1;
        PutU8(b, (0x40 | stream << 4) | o.resets);
        PutU8(b, 1);
        PutU8(b, static_cast<unsigned>(palette.size() - 1));
        unsigned i = 0;
        for (auto& e : palette) {
            e.second = i++;
            tpixel(b, e.first);
        }
        for (int y = r.top; y < r.bottom; ++y) {
            if (palette.size() == 2) {
                Bytes row((static_cast<size_t>(r.width()) + 7) / 8);
                for (int x = r.left; x < r.right; ++x)
                    if (palette[img.at(x, y)])
                        row[static_cast<size_t>(x - r.left) / 8] |= static_cast<uint8_t>(0x80 >> ((x - r.left) % 8));
                Append(data, row);
            } else {
                for (int x = r.left; x < r.right; ++x)
                    PutU8(data, palette[img.at(x, y)]);
            }
        }
    } else if (o.gradient) {
        stream = 2;
        PutU8(b, (0x40 | stream << 4) | o.resets);
        PutU8(b, 2);
        const unsigned max[3] = {rgb24 ? 255u : pf.redMax, rgb24 ? 255u : pf.greenMax, rgb24 ? 255u : pf.blueMax};
        const unsigned shift[3] = {pf.redShift, pf.greenShift, pf.blueShift};
        auto ch = [&](int x, int y, int c) -> int {
            if (x < r.left || y < r.top)
                return 0;
            return static_cast<int>(img.at(x, y) >> shift[c] & max[c]);
        };
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                unsigned d[3];
                for (int c = 0; c < 3; ++c) {
                    int p = ch(x - 1, y, c) + ch(x, y - 1, c) - ch(x - 1, y - 1, c);
                    p = p < 0 ? 0 : p > static_cast<int>(max[c]) ? static_cast<int>(max[c]) : p;
                    d[c] = static_cast<unsigned>(ch(x, y, c) - p) & max[c];
                }
                if (rgb24)
                    PutU8(data, d[0]), PutU8(data, d[1]), PutU8(data, d[2]);
                else
                    PutPixel(data, pf, d[0] << shift[0] | d[1] << shift[1] | d[2] << shift[2]);
            }
    } else {
        stream = 0;
        PutU8(b, (stream << 4) | o.resets);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                tpixel(data, img.at(x, y));
    }
    if (data.size() < 12) {
        Append(b, data);
        return b;
    }
    const Bytes packed = m_streams[stream].compress(data);
    PutCompactLength(b, packed.size());
    Append(b, packed);
    return b;
}

} // namespace testdecode
