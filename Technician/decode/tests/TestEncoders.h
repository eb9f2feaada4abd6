// Encoders for the tests, written from the public RFB protocol description
// and this program's own encodings, sharing no code with the decoders. Each
// writes whole rectangles (12-byte header and body) of a client picture; the
// zlib-based ones keep their session streams like a host does.
#pragma once

#include "Technician/decode/tests/TestImage.h"

#include <memory>

struct z_stream_s;

namespace testdecode {

namespace enc {
constexpr int32_t Raw = 0, CopyRect = 1, RRE = 2, CoRRE = 4, Hextile = 5, Zlib = 6, Tight = 7, ZlibHex = 8, Ultra = 9,
                  ZRLE = 16;
constexpr int32_t Cache = static_cast<int32_t>(0xFFFF0000u), XorZlib = static_cast<int32_t>(0xFFFF0002u),
                  XorMono = static_cast<int32_t>(0xFFFF0003u), XorMulti = static_cast<int32_t>(0xFFFF0004u),
                  Solid = static_cast<int32_t>(0xFFFF0005u), CacheZip = static_cast<int32_t>(0xFFFF0007u),
                  SolMonoZip = static_cast<int32_t>(0xFFFF0008u), UltraZip = static_cast<int32_t>(0xFFFF0009u);
} // namespace enc

// A deflate stream that lives across rectangles; each block ends with a sync
// flush so the peer can inflate it whole.
class Deflater {
public:
    explicit Deflater(int level = 6);
    ~Deflater();
    Bytes compress(const Bytes& in);
    void reset();

private:
    std::unique_ptr<z_stream_s> m_zs;
    int m_level;
};

// One-shot zlib (compress2) and LZO1X-1 blocks.
Bytes ZlibOnce(const Bytes& in);
Bytes Lzo(const Bytes& in);

// Raw pixels of r, row by row.
Bytes RawPixels(const ClientImage& img, const rfb::Rect& r);

Bytes EncodeRaw(const ClientImage& img, const rfb::Rect& r);
Bytes EncodeRre(const ClientImage& img, const rfb::Rect& r, bool compact);
Bytes EncodeSolid(const ClientImage& img, const rfb::Rect& r);
Bytes EncodeUltra(const ClientImage& img, const rfb::Rect& r);
// UltraZip and SolMonoZip: r cut into cells of `cell` pixels.
Bytes EncodeUltraZip(const ClientImage& img, const rfb::Rect& r, int cell);
Bytes EncodeSolMonoZip(const ClientImage& img, const rfb::Rect& r, int cell);
Bytes EncodeCache(const rfb::Rect& r);
Bytes EncodeCacheZip(const std::vector<rfb::Rect>& areas);

class ZlibEncoder {
public:
    Bytes zlib(const ClientImage& img, const rfb::Rect& r);
    // XOR_Zlib: the pixels of r that differ from before.
    Bytes xorZlib(const ClientImage& before, const ClientImage& img, const rfb::Rect& r);
    // XORMultiColor_Zlib: background = the pixel at r's corner.
    Bytes xorMulti(const ClientImage& img, const rfb::Rect& r);
    // XORMonoColor_Zlib: r holds at most two colours.
    Bytes xorMono(const ClientImage& img, const rfb::Rect& r);

private:
    Bytes wrap(const rfb::Rect& r, int32_t encoding, const Bytes& data);
    Deflater m_stream;
};

class ZlibHexEncoder {
public:
    Bytes encode(const ClientImage& img, const rfb::Rect& r);

private:
    Deflater m_raw;
    Deflater m_hex;
    unsigned m_tiles = 0;
};

struct TightOptions {
    bool jpeg = false;
    int quality = 75;
    bool gradient = false;
    // Bits 0-3 of the control byte: streams to reset first.
    unsigned resets = 0;
};

class TightEncoder {
public:
    Bytes encode(const ClientImage& img, const rfb::Rect& r, const TightOptions& o = TightOptions());
    static void PutCompactLength(Bytes& b, size_t n);
    // A JPEG of r (RGB from the client pixels through Rule1), by libjpeg.
    static Bytes Jpeg(const ClientImage& img, const rfb::Rect& r, int quality);

private:
    Deflater m_streams[4];
};

} // namespace testdecode
