// Writes the seed corpus of decode_fuzz from the test encoders and our
// host's encoders (Raw, Hextile, ZRLE, CopyRect), and checks that every seed
// decodes to its end. CTest runs it without a folder (the check only). To
// regenerate the corpus after changing an encoder or the input layout
// (DecodeFuzzInput.h), from the repository root:
//   cmake --build --preset native --target decode_fuzz_seeds
//   rm -r Technician/decode/tests/corpus/decode
//   build/native/Technician/decode/decode_fuzz_seeds Technician/decode/tests/corpus/decode
//
// Seeds: each encoding in each of the 12 test formats (two or more
// rectangles on one session); more XORMonoColor shapes in each format; and,
// for the stream-keeping encodings, a session that changes its client
// format and its size between rectangles.
#include "Customer/encode/vncEncodeHexT.h"
#include "Customer/encode/vncEncodeZRLE.h"
#include "Customer/encode/vncEncoder.h"
#include "Customer/session/HostMessages.h"
#include "Customer/tests/TestFrames.h"
#include "Technician/decode/tests/DecodeFuzzInput.h"
#include "Technician/decode/tests/TestEncoders.h"
#include "rfb/MemOutStream.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

namespace testdecode {
namespace {

const rfb::Rect kFirst(5, 3, 29, 21), kSecond(20, 16, 48, 40), kSmall(2, 2, 20, 16);

// One seed being written: the three leading bytes, then records.
class Seed {
public:
    Seed(int32_t encoding, size_t format, bool cache)
    {
        const std::vector<int32_t>& e = FuzzEncodings();
        m_bytes = {static_cast<uint8_t>(std::find(e.begin(), e.end(), encoding) - e.begin()),
                   static_cast<uint8_t>(format), static_cast<uint8_t>(cache ? 1 : 0)};
    }
    // A whole rectangle (12-byte header first) of the seed's encoding.
    void rect(const Bytes& whole)
    {
        m_bytes.push_back(kFuzzRectangle);
        m_bytes.insert(m_bytes.end(), whole.begin(), whole.begin() + 8);
        m_bytes.insert(m_bytes.end(), whole.begin() + 12, whole.end());
        ++m_records;
    }
    void rects(const std::vector<Bytes>& all)
    {
        for (const Bytes& r : all)
            rect(r);
    }
    void newFormat(size_t format)
    {
        Append(m_bytes, {kFuzzNewFormat, static_cast<uint8_t>(format)});
        ++m_records;
    }
    void newSize(int w, int h)
    {
        Append(m_bytes, {kFuzzNewSize, static_cast<uint8_t>(w - 1), static_cast<uint8_t>(h - 1)});
        ++m_records;
    }
    const Bytes& bytes() const { return m_bytes; }
    size_t records() const { return m_records; }

private:
    Bytes m_bytes;
    size_t m_records = 0;
};

// Encoders whose streams last for a seed's session, across formats too.
struct Encoders {
    ZlibEncoder zlib;
    ZlibHexEncoder zlibHex;
    TightEncoder tight;
    vncEncoder raw;
    vncEncodeHexT hextile;
    vncEncodeZRLE zrle;
};

Bytes HostRect(vncEncoder& enc, const rfb::PixelFormat& pf, const testframes::Frame& frame, const rfb::Rect& r)
{
    enc.SetLocalFormat(testframes::Host32(), frame.width, frame.height);
    enc.SetRemoteFormat(pf);
    if (!enc.SetTranslateFunction())
        throw std::runtime_error("the host does not serve a test format");
    rdr::MemOutStream out;
    enc.EncodeRect(testframes::View(frame), out, r);
    return Bytes(out.data(), out.data() + out.length());
}

Bytes HostCopyRect(const rfb::Rect& dest, int sx, int sy)
{
    rdr::MemOutStream out;
    hostmsg::WriteCopyRect(out, dest, sx, sy);
    return Bytes(out.data(), out.data() + out.length());
}

// At most two colours, as XORMonoColor carries.
ClientImage TwoColours(ClientImage img)
{
    const uint32_t a = PixelOf(img.pf, 255, 0, 0), b = PixelOf(img.pf, 0, 0, 255);
    for (uint32_t& p : img.px)
        p = p & 1 ? a : b;
    return img;
}

// Rectangles of `encoding` for a seed: a desktop piece and a photo piece.
std::vector<Bytes> Rectangles(int32_t encoding, const rfb::PixelFormat& pf, Encoders& e, const rfb::Rect& a,
                              const rfb::Rect& b)
{
    const ClientImage desktop = DesktopImage(pf, kFuzzWidth, kFuzzHeight, 3);
    const ClientImage photo = PhotoImage(pf, kFuzzWidth, kFuzzHeight, 5);
    const testframes::Frame hostDesktop = testframes::Desktop(testframes::Host32(), kFuzzWidth, kFuzzHeight, 3);
    const testframes::Frame hostPhoto = testframes::Photo(testframes::Host32(), kFuzzWidth, kFuzzHeight, 5);
    TightOptions gradient, jpeg, resets;
    gradient.gradient = true;
    jpeg.jpeg = true;
    resets.resets = 0x0F;
    switch (encoding) {
    case enc::Raw:
        return {HostRect(e.raw, pf, hostPhoto, a), EncodeRaw(desktop, b)};
    case enc::CopyRect:
        return {HostCopyRect(a, b.left, b.top), HostCopyRect(b, a.left, a.top)};
    case enc::RRE:
        return {EncodeRre(desktop, a, false), EncodeRre(photo, b, false)};
    case enc::CoRRE:
        return {EncodeRre(desktop, a, true), EncodeRre(photo, b, true)};
    case enc::Hextile:
        return {HostRect(e.hextile, pf, hostDesktop, a), HostRect(e.hextile, pf, hostPhoto, b)};
    case enc::Zlib:
        return {e.zlib.zlib(desktop, a), e.zlib.zlib(photo, b)};
    case enc::Tight:
        return {e.tight.encode(desktop, a), e.tight.encode(photo, b, gradient), e.tight.encode(photo, a, jpeg),
                e.tight.encode(desktop, b, resets)};
    case enc::ZlibHex:
        return {e.zlibHex.encode(desktop, a), e.zlibHex.encode(photo, b)};
    case enc::Ultra:
        return {EncodeUltra(photo, a), EncodeUltra(desktop, b)};
    case enc::ZRLE:
        return {HostRect(e.zrle, pf, hostDesktop, a), HostRect(e.zrle, pf, hostPhoto, b)};
    case enc::Cache:
        return {EncodeCache(a), EncodeCache(b)};
    case enc::XorZlib:
        return {e.zlib.xorZlib(desktop, photo, a), e.zlib.xorZlib(photo, desktop, b)};
    case enc::XorMono:
        return {e.zlib.xorMono(TwoColours(desktop), a), e.zlib.xorMono(TwoColours(photo), b)};
    case enc::XorMulti:
        return {e.zlib.xorMulti(desktop, a), e.zlib.xorMulti(photo, b)};
    case enc::Solid:
        return {EncodeSolid(desktop, a), EncodeSolid(photo, b)};
    case enc::CacheZip:
        return {EncodeCacheZip({a, b, rfb::Rect(40, 30, 60, 50)})};
    case enc::SolMonoZip:
        return {EncodeSolMonoZip(desktop, a, 5), EncodeSolMonoZip(photo, b, 7)};
    case enc::UltraZip:
        return {EncodeUltraZip(photo, a, 7), EncodeUltraZip(desktop, b, 5)};
    default:
        throw std::logic_error("no seed rectangles for an encoding");
    }
}

const std::map<int32_t, const char*>& Names()
{
    static const std::map<int32_t, const char*> names = {
        {enc::Raw, "raw"},         {enc::CopyRect, "copyrect"}, {enc::RRE, "rre"},
        {enc::CoRRE, "corre"},     {enc::Hextile, "hextile"},   {enc::Zlib, "zlib"},
        {enc::Tight, "tight"},     {enc::ZlibHex, "zlibhex"},   {enc::Ultra, "ultra"},
        {enc::ZRLE, "zrle"},       {enc::Cache, "cache"},       {enc::XorZlib, "xor"},
        {enc::XorMono, "xormono"}, {enc::XorMulti, "xormulti"}, {enc::Solid, "solid"},
        {enc::CacheZip, "cachezip"}, {enc::SolMonoZip, "solmonozip"}, {enc::UltraZip, "ultrazip"},
    };
    return names;
}

bool UsesCache(int32_t encoding)
{
    return encoding == enc::Cache || encoding == enc::CacheZip || encoding == enc::Solid ||
           encoding == enc::SolMonoZip;
}

std::map<std::string, Seed> Seeds()
{
    const std::vector<ClientFormat>& formats = ClientFormats();
    std::map<std::string, Seed> seeds;
    for (int32_t encoding : FuzzEncodings())
        for (size_t f = 0; f < formats.size(); ++f) {
            Encoders e;
            Seed s(encoding, f, UsesCache(encoding));
            s.rects(Rectangles(encoding, formats[f].pf, e, kFirst, kSecond));
            seeds.emplace(std::string(Names().at(encoding)) + "_" + formats[f].name, s);
        }
    // XORMonoColor in more shapes: one pixel, 3 x 3, an odd width, one
    // column, the whole framebuffer.
    for (size_t f = 0; f < formats.size(); ++f) {
        ZlibEncoder zlib;
        const ClientImage two = TwoColours(PhotoImage(formats[f].pf, kFuzzWidth, kFuzzHeight, 7));
        Seed s(enc::XorMono, f, false);
        for (const rfb::Rect& r : {rfb::Rect(0, 0, 1, 1), rfb::Rect(2, 2, 5, 5), rfb::Rect(10, 10, 27, 15),
                                   rfb::Rect(47, 0, 48, 40), rfb::Rect(0, 0, 48, 40)})
            s.rect(zlib.xorMono(two, r));
        seeds.emplace(std::string("xormono_shapes_") + formats[f].name, s);
    }
    // A new format and a new size between rectangles, on streams that go on.
    const size_t host32 = 0, rgb565 = 6, bgr233 = 2;
    for (int32_t encoding : {enc::Raw, enc::Hextile, enc::ZRLE, enc::Tight, enc::Zlib, enc::ZlibHex, enc::XorMono,
                             enc::Cache}) {
        Encoders e;
        Seed s(encoding, host32, true);
        s.rects(Rectangles(encoding, formats[host32].pf, e, kFirst, kSecond));
        s.newFormat(rgb565);
        s.rects(Rectangles(encoding, formats[rgb565].pf, e, kFirst, kSecond));
        s.newSize(24, 18);
        s.rects(Rectangles(encoding, formats[rgb565].pf, e, kSmall, rfb::Rect(0, 0, 24, 18)));
        s.newFormat(bgr233);
        s.rects(Rectangles(encoding, formats[bgr233].pf, e, rfb::Rect(0, 0, 24, 18), kSmall));
        seeds.emplace(std::string("midstream_") + Names().at(encoding), s);
    }
    return seeds;
}

} // namespace
} // namespace testdecode

int main(int argc, char** argv)
{
    using namespace testdecode;
    if (argc > 2) {
        std::fprintf(stderr, "usage: decode_fuzz_seeds [FOLDER]\n");
        return 2;
    }
    int bad = 0;
    const std::map<std::string, Seed> seeds = Seeds();
    for (const auto& [name, seed] : seeds) {
        const FuzzRun run = RunFuzzInput(seed.bytes().data(), seed.bytes().size());
        if (!run.completed || run.records != seed.records() || !run.inside) {
            std::fprintf(stderr, "seed %s stops after %zu of %zu records\n", name.c_str(), run.records,
                         seed.records());
            ++bad;
        }
    }
    if (argc == 2) {
        const std::filesystem::path folder(argv[1]);
        std::filesystem::create_directories(folder);
        for (const auto& [name, seed] : seeds) {
            std::ofstream out(folder / name, std::ios::binary);
            const Bytes& bytes = seed.bytes();
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", (folder / name).string().c_str());
                return 1;
            }
        }
    }
    std::printf("%zu seeds, %d that do not decode to their end\n", seeds.size(), bad);
    return bad == 0 ? 0 : 1;
}
