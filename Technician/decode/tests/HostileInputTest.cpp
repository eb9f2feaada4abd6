// Hostile rectangles, per decoder: each ends in the decode exception (or the
// stream's end) or an abandoned rectangle, never reads or writes outside a
// buffer (the sanitizers watch), and never allocates more than the
// framebuffer's size allows. Every prefix of a valid rectangle ends in
// end-of-stream.
#include "Customer/encode/vncEncodeHexT.h"
#include "Customer/encode/vncEncodeZRLE.h"
#include "Customer/encode/vncEncoder.h"
#include "Customer/session/HostMessages.h"
#include "Customer/tests/TestFrames.h"
#include "Technician/decode/DecodeError.h"
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"
#include "rfb/MemOutStream.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// The largest single allocation while watching.
std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};

} // namespace

void* operator new(size_t n)
{
    if (g_watching) {
        size_t seen = g_largest;
        while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
        }
    }
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}

// The replacement new above takes its blocks from malloc, so free is the
// matching release; GCC cannot see that through the replacement.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

namespace testdecode {
namespace {

constexpr int kW = 64, kH = 48;
// Twice a framebuffer of 4-byte pixels plus the compressed-length slack.
constexpr size_t kAllocationLimit = 2 * kW * kH * 4 + 64 * 1024 + 4096;

// Throws: the decode exception (or another stream fault) before the data
// ran out; EndOfStream: the rectangle needs more bytes than there are.
enum class Outcome { Throws, EndOfStream, Abandoned, Drawn };

struct Hostile {
    const char* name;
    const char* format;
    Bytes bytes;
    Outcome outcome;
};

Bytes Rect(int x, int y, int w, int h, int32_t encoding, const Bytes& body)
{
    Bytes b;
    PutHeader(b, x, y, w, h, encoding);
    Append(b, body);
    return b;
}

Bytes U32(uint32_t v)
{
    Bytes b;
    PutU32(b, v);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes& p : parts)
        Append(b, p);
    return b;
}

// Length-prefixed data as the zlib family sends it.
Bytes Sized(const Bytes& data)
{
    return Cat({U32(static_cast<uint32_t>(data.size())), data});
}

Bytes Zipped(const Bytes& raw)
{
    Deflater d;
    return d.compress(raw);
}

// A ZlibHex tile whose rest comes zlib-compressed: sub-encoding, 16-bit
// length, data.
Bytes ZlibTile(uint8_t subencoding, const Bytes& data)
{
    Bytes b = {subencoding};
    PutU16(b, static_cast<unsigned>(data.size()));
    Append(b, data);
    return b;
}

std::vector<Hostile> Cases()
{
    const Bytes pixels16(16, 0x07);
    std::vector<Hostile> c = {
        {"Raw larger than the framebuffer", "bgr233", Rect(0, 0, 65535, 65535, enc::Raw, {}), Outcome::Throws},
        {"Raw past the right and bottom edges", "bgr233", Rect(60, 44, 8, 8, enc::Raw, Bytes(64, 0x07)), Outcome::Drawn},
        {"CopyRect overflowing 16 bits", "bgr233", Rect(65535, 65535, 65535, 1, enc::CopyRect, {0, 0, 0, 0}), Outcome::Throws},
        {"RRE count 2^32-1", "host32", Rect(0, 0, 4, 4, enc::RRE, Cat({U32(0xFFFFFFFF), Bytes(4, 0)})), Outcome::Throws},
        {"RRE count above w x h", "bgr233", Rect(0, 0, 4, 4, enc::RRE, Cat({U32(17), {0}})), Outcome::Throws},
        {"RRE count w x h, data missing", "bgr233", Rect(0, 0, 4, 4, enc::RRE, Cat({U32(16), {0}, Bytes(9, 0)})),
         Outcome::EndOfStream},
        {"RRE sub-rectangle far outside", "bgr233",
         Rect(1, 1, 4, 4, enc::RRE, Cat({U32(1), {0, 7}, {0xFF, 0xF0, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF}})), Outcome::Drawn},
        {"CoRRE count 2^32-1", "rgb565", Rect(0, 0, 4, 4, enc::CoRRE, Cat({U32(0xFFFFFFFF), {0, 0}})), Outcome::Throws},
        {"CoRRE sub-rectangle far outside", "rgb565",
         Rect(60, 40, 4, 4, enc::CoRRE, Cat({U32(1), {0, 0}, {0xFF, 0xFF}, {200, 200, 255, 255}})), Outcome::Drawn},
        {"Hextile sub-rectangles past an edge tile", "bgr233", Rect(62, 46, 2, 2, enc::Hextile, {8 | 4, 7, 1, 0xFF, 0xFF}), Outcome::Drawn},
        {"zlib length 0", "bgr233", Rect(0, 0, 4, 4, enc::Zlib, U32(0)), Outcome::Throws},
        {"zlib length 1", "bgr233", Rect(0, 0, 4, 4, enc::Zlib, Cat({U32(1), {0x78}})), Outcome::Throws},
        {"zlib length 2^32-1", "bgr233", Rect(0, 0, 4, 4, enc::Zlib, U32(0xFFFFFFFF)), Outcome::Throws},
        {"zlib inflates short", "bgr233", Rect(0, 0, 4, 4, enc::Zlib, Sized(Zipped(Bytes(15, 7)))), Outcome::Throws},
        {"zlib inflates long", "bgr233", Rect(0, 0, 4, 4, enc::Zlib, Sized(Zipped(Bytes(17, 7)))), Outcome::Throws},
        {"zlib not zlib", "bgr233", Rect(0, 0, 4, 4, enc::Zlib, Sized(Bytes(20, 0x55))), Outcome::Throws},
        {"XOR mask claims more pixels than sent", "bgr233", Rect(0, 0, 4, 4, enc::XorZlib, Sized(Zipped({0xFF, 0xFF, 7}))), Outcome::Throws},
        {"XOR pixels beyond the mask", "bgr233", Rect(0, 0, 4, 4, enc::XorZlib, Sized(Zipped({0x01, 0x00, 7, 7}))), Outcome::Throws},
        {"XOR multi mask only", "bgr233", Rect(0, 0, 4, 4, enc::XorMulti, Sized(Zipped({0x00, 0x00}))), Outcome::Throws},
        {"XOR mono one pixel", "bgr233", Rect(0, 0, 4, 4, enc::XorMono, Sized(Zipped({0x00, 0x00, 7}))), Outcome::Throws},
        {"XOR larger than the framebuffer", "bgr233", Rect(0, 0, 65535, 65535, enc::XorZlib, U32(0)), Outcome::Throws},
        {"Tight length above the limit", "bgr233", Rect(0, 0, 4, 4, enc::Tight, {0x00, 0xFF, 0xFF, 0xFF}), Outcome::Throws},
        {"Tight inflates more rows than h", "bgr233", Rect(0, 0, 4, 4, enc::Tight, Cat({{0x00, 12}, Zipped(Bytes(20, 7))})), Outcome::Throws},
        {"Tight inflates fewer rows than h", "bgr233", Rect(0, 0, 4, 4, enc::Tight, Cat({{0x00, 12}, Zipped(Bytes(12, 7))})), Outcome::Throws},
        {"Tight JPEG length above the limit", "host32", Rect(0, 0, 4, 4, enc::Tight, {0x90, 0xFF, 0xFF, 0xFF}), Outcome::Throws},
        {"Tight JPEG length 0", "host32", Rect(0, 0, 4, 4, enc::Tight, {0x90, 0x00}), Outcome::Abandoned},
        {"Tight gradient 64 wide", "host32", Rect(0, 0, 64, 1, enc::Tight, Cat({{0x60, 2, 0x80, 0x02}, Bytes(256, 0)})), Outcome::Throws},
        {"Ultra length 2^32-1", "bgr233", Rect(0, 0, 4, 4, enc::Ultra, U32(0xFFFFFFFF)), Outcome::Throws},
        {"Ultra LZO writing past its buffer", "bgr233", Rect(0, 0, 4, 4, enc::Ultra, Sized(Lzo(Bytes(5000, 7)))), Outcome::Abandoned},
        {"UltraZip size above the cap", "bgr233", Rect(1, 65534, 65535, 0, enc::UltraZip, U32(10)), Outcome::Throws},
        {"UltraZip count beyond the data", "bgr233",
         Rect(50, 28, 0, 0, enc::UltraZip, Sized(Lzo(Cat({Rect(0, 0, 4, 4, 0, pixels16)})))), Outcome::Drawn},
        {"UltraZip sub-rectangle claims more pixels", "bgr233",
         Rect(1, 28, 0, 0, enc::UltraZip, Sized(Lzo(Cat({Rect(0, 0, 40, 40, 0, pixels16)})))), Outcome::Drawn},
        {"SolMonoZip size above the cap", "bgr233", Rect(1, 65534, 65535, 0, enc::SolMonoZip, U32(10)), Outcome::Throws},
        {"SolMonoZip count beyond the data", "bgr233",
         Rect(60, 13, 0, 0, enc::SolMonoZip, Sized(ZlibOnce(Rect(0, 0, 4, 4, enc::Solid, {7})))), Outcome::Drawn},
        {"SolMonoZip mask cut short", "bgr233",
         Rect(1, 14, 0, 0, enc::SolMonoZip, Sized(ZlibOnce(Rect(0, 0, 40, 40, enc::XorMono, {1, 2})))), Outcome::Drawn},
        {"SolMonoZip inflates past its size", "bgr233",
         Rect(1, 13, 0, 0, enc::SolMonoZip, Sized(ZlibOnce(Rect(0, 0, 4, 4, enc::Solid, {7, 7, 7})))), Outcome::Abandoned},
        {"CacheZip 65535 areas, length 2^32-1", "bgr233", Rect(65535, 0, 0, 0, enc::CacheZip, U32(0xFFFFFFFF)), Outcome::Throws},
        {"ZlibHex raw tile length 0", "bgr233", Rect(0, 0, 4, 4, enc::ZlibHex, {0x20, 0, 0}), Outcome::Throws},
        {"ZlibHex tail claims 5 sub-rectangles, holds 1", "bgr233",
         Rect(0, 0, 4, 4, enc::ZlibHex, ZlibTile(0x40 | 8, Zipped({5, 0x00, 0x11}))), Outcome::Throws},
        {"ZlibHex corrupt zlib in a tile", "bgr233", Rect(0, 0, 4, 4, enc::ZlibHex, ZlibTile(0x20, Bytes(6, 0x55))),
         Outcome::Throws},
        {"ZlibHex tail with leftover bytes", "bgr233",
         Rect(0, 0, 4, 4, enc::ZlibHex, ZlibTile(0x40 | 2, Zipped({7, 0x38, 0x38}))), Outcome::Throws},
        {"ZlibHex raw tile inflates long", "bgr233",
         Rect(0, 0, 4, 4, enc::ZlibHex, ZlibTile(0x20, Zipped(Bytes(17, 7)))), Outcome::Throws},
        {"ZRLE length 2^32-1", "host32", Rect(0, 0, 4, 4, enc::ZRLE, U32(0xFFFFFFFF)), Outcome::Throws},
        {"ZRLE larger than the framebuffer", "host32", Rect(0, 0, 65, 65535, enc::ZRLE, U32(0)), Outcome::Throws},
        {"unknown encoding", "host32", Rect(0, 0, 4, 4, 3, {}), Outcome::Throws},
    };
    return c;
}

TEST(HostileInput, EndsInTheDecodeExceptionOrAnAbandonedRectangle)
{
    for (const Hostile& h : Cases()) {
        SCOPED_TRACE(h.name);
        Viewer v(FormatNamed(h.format).pf, kW, kH);
        g_largest = 0;
        g_watching = true;
        Outcome got;
        try {
            got = v.decodeOne(h.bytes) == decode::RectResult::Drawn ? Outcome::Drawn : Outcome::Abandoned;
        } catch (const rdr::EndOfStream&) {
            got = Outcome::EndOfStream;
        } catch (const rdr::Exception&) {
            got = Outcome::Throws;
        }
        g_watching = false;
        EXPECT_EQ(static_cast<int>(got), static_cast<int>(h.outcome));
        EXPECT_LE(g_largest.load(), kAllocationLimit);
        for (const rfb::Rect& r : v.changed)
            EXPECT_TRUE(r.enclosed_by(rfb::Rect(0, 0, kW, kH)));
    }
}

// A rectangle of a host frame as our host's encoder writes it for pf.
Bytes HostRect(vncEncoder& enc, const testframes::Frame& frame, const rfb::PixelFormat& pf, const rfb::Rect& r)
{
    enc.SetLocalFormat(testframes::Host32(), frame.width, frame.height);
    enc.SetRemoteFormat(pf);
    EXPECT_TRUE(enc.SetTranslateFunction());
    rdr::MemOutStream out;
    enc.EncodeRect(testframes::View(frame), out, r);
    return Bytes(out.data(), out.data() + out.length());
}

template <class Write>
Bytes HostMessage(Write write)
{
    rdr::MemOutStream out;
    write(out);
    return Bytes(out.data(), out.data() + out.length());
}

TEST(HostileInput, EveryPrefixOfAValidRectangleEndsInEndOfStream)
{
    const rfb::PixelFormat& pf = FormatNamed("bgr233").pf;
    const ClientImage img = DesktopImage(pf, 16, 12, 6);
    const rfb::Rect r(0, 0, 16, 12);
    TightOptions jpeg;
    jpeg.jpeg = true;
    TightOptions gradient;
    gradient.gradient = true;
    ZlibEncoder zlib;
    ZlibHexEncoder zlibHex;
    TightEncoder tight;
    std::vector<Bytes> valid = {
        EncodeRaw(img, r),           EncodeRre(img, r, false),       EncodeRre(img, r, true),
        zlib.zlib(img, r),           zlib.xorMulti(img, r),          zlibHex.encode(img, r),
        tight.encode(img, r),        tight.encode(PhotoImage(pf, 16, 12), r, gradient),
        tight.encode(img, r, jpeg),  EncodeUltra(img, r),            EncodeUltraZip(img, r, 7),
        EncodeSolMonoZip(img, r, 5), EncodeCacheZip({r}),            EncodeSolid(img, r),
    };
    // XOR_Zlib over another picture, and XORMonoColor of a two-colour one.
    valid.push_back(zlib.xorZlib(PhotoImage(pf, 16, 12), img, r));
    ClientImage twoColours = img;
    for (uint32_t& p : twoColours.px)
        p = p & 1 ? PixelOf(pf, 255, 0, 0) : PixelOf(pf, 0, 0, 255);
    valid.push_back(zlib.xorMono(twoColours, r));
    valid.push_back(EncodeCache(r));
    // Our host's streams: Raw, Hextile (a desktop and a photo) and ZRLE, and
    // its CopyRect and Cache rectangles.
    const testframes::Frame desktop = testframes::Desktop(testframes::Host32(), 16, 12, 3);
    const testframes::Frame photo = testframes::Photo(testframes::Host32(), 16, 12, 5);
    vncEncoder raw;
    vncEncodeHexT hextile;
    vncEncodeZRLE zrle;
    valid.push_back(HostRect(raw, photo, pf, r));
    valid.push_back(HostRect(hextile, desktop, pf, r));
    valid.push_back(HostRect(hextile, photo, pf, r));
    valid.push_back(HostRect(zrle, desktop, pf, r));
    valid.push_back(HostMessage([](rdr::OutStream& out) { hostmsg::WriteCopyRect(out, rfb::Rect(0, 0, 8, 6), 4, 3); }));
    valid.push_back(HostMessage([&](rdr::OutStream& out) { hostmsg::WriteCacheRect(out, r); }));
    valid.push_back(HostMessage([&](rdr::OutStream& out) { EXPECT_TRUE(hostmsg::WriteCacheZip(out, {r, r})); }));
    for (const Bytes& whole : valid) {
        for (size_t n = 0; n < whole.size(); ++n) {
            Viewer v(pf, 16, 12);
            const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_THROW(v.decodeAll(prefix.empty() ? Bytes{0} : prefix), rdr::EndOfStream)
                << "encoding of rectangle " << &whole - valid.data() << ", " << n << " bytes";
        }
    }
}

} // namespace
} // namespace testdecode
