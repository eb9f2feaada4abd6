#include "Technician/decode/tests/DecodeFuzzInput.h"

#include "Technician/decode/DecodeSession.h"
#include "Technician/decode/Encodings.h"
#include "Technician/decode/tests/TestImage.h"
#include "rfb/Exception.h"
#include "rfb/MemInStream.h"

namespace testdecode {

const std::vector<int32_t>& FuzzEncodings()
{
    static const std::vector<int32_t> encodings = {
        decode::kEncRaw,       decode::kEncCopyRect,     decode::kEncRRE,
        decode::kEncCoRRE,     decode::kEncHextile,      decode::kEncZlib,
        decode::kEncTight,     decode::kEncZlibHex,      decode::kEncUltra,
        decode::kEncZRLE,      decode::kEncCache,        decode::kEncXorZlib,
        decode::kEncXorMonoColourZlib, decode::kEncXorMultiColourZlib, decode::kEncSolidColour,
        decode::kEncCacheZip,  decode::kEncSolMonoZip,   decode::kEncUltraZip,
    };
    return encodings;
}

FuzzRun RunFuzzInput(const uint8_t* data, size_t size)
{
    FuzzRun run;
    if (size < 3)
        return run;
    const std::vector<ClientFormat>& formats = ClientFormats();
    const int32_t encoding = FuzzEncodings()[data[0] % FuzzEncodings().size()];
    decode::Framebuffer fb(kFuzzWidth, kFuzzHeight);
    fb.setCacheEnabled(data[2] & 1);
    decode::DecodeSession session(fb, formats[data[1] % formats.size()].pf);
    rdr::MemInStream in(data + 3, size - 3);
    std::vector<rfb::Rect> changed;
    try {
        while (in.remaining() > 0) {
            const uint8_t record = in.readU8();
            if (record == kFuzzNewFormat) {
                session.setFormat(formats[in.readU8() % formats.size()].pf);
            } else if (record == kFuzzNewSize) {
                const int w = in.readU8() % 64 + 1;
                const int h = in.readU8() % 64 + 1;
                fb.resize(w, h);
                session.clearCache();
            } else {
                decode::RectHeader h;
                h.x = in.readU16();
                h.y = in.readU16();
                h.w = in.readU16();
                h.h = in.readU16();
                h.encoding = encoding;
                session.decode(in, h, changed);
                for (const rfb::Rect& r : changed)
                    run.inside = run.inside && r.enclosed_by(fb.bounds());
                changed.clear();
            }
            ++run.records;
        }
        run.completed = true;
    } catch (const rdr::Exception&) {
    }
    return run;
}

} // namespace testdecode
