// Fuzz target for every decoder. Input: byte 0 picks the encoding, byte 1
// the client pixel format, bit 0 of byte 2 turns the cache on; then
// rectangles follow as 8-byte headers (x, y, w, h) and bodies, decoded on
// one session into a 48 x 40 framebuffer until the bytes end or a rectangle
// fails. Every reported area must lie inside the framebuffer.
#include "Technician/decode/DecodeSession.h"
#include "Technician/decode/Encodings.h"
#include "rfb/Exception.h"
#include "rfb/MemInStream.h"
#include "rfb/tests/TestFormats.h"

#include <cstdlib>

namespace {

const int32_t kEncodings[] = {
    decode::kEncRaw,       decode::kEncCopyRect,     decode::kEncRRE,
    decode::kEncCoRRE,     decode::kEncHextile,      decode::kEncZlib,
    decode::kEncTight,     decode::kEncZlibHex,      decode::kEncUltra,
    decode::kEncZRLE,      decode::kEncCache,        decode::kEncXorZlib,
    decode::kEncXorMonoColourZlib, decode::kEncXorMultiColourZlib, decode::kEncSolidColour,
    decode::kEncCacheZip,  decode::kEncSolMonoZip,   decode::kEncUltraZip,
};

rfb::PixelFormat Format(uint8_t pick)
{
    using testformats::Make;
    switch (pick % 5) {
    case 0:
        return Make(8, 8, false, true, 7, 7, 3, 0, 3, 6);
    case 1:
        return Make(16, 16, false, true, 31, 63, 31, 11, 5, 0);
    case 2:
        return Make(32, 24, false, true, 255, 255, 255, 16, 8, 0);
    case 3:
        return Make(32, 24, true, true, 255, 255, 255, 16, 8, 0);
    default:
        return Make(32, 32, false, true, 1023, 1023, 1023, 20, 10, 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    decode::Framebuffer fb(48, 40);
    fb.setCacheEnabled(data[2] & 1);
    decode::DecodeSession session(fb, Format(data[1]));
    rdr::MemInStream in(data + 3, size - 3);
    std::vector<rfb::Rect> changed;
    try {
        while (in.remaining() >= 8) {
            decode::RectHeader h;
            h.x = in.readU16();
            h.y = in.readU16();
            h.w = in.readU16();
            h.h = in.readU16();
            h.encoding = kEncodings[data[0] % (sizeof kEncodings / sizeof kEncodings[0])];
            session.decode(in, h, changed);
        }
    } catch (const rdr::Exception&) {
    }
    for (const rfb::Rect& r : changed)
        if (!r.enclosed_by(fb.bounds()))
            std::abort();
    return 0;
}
