#include "Technician/decode/SolMonoZipDecoder.h"

#include "Technician/decode/Encodings.h"
#include "Technician/decode/Limits.h"
#include "Technician/decode/SubRectBatch.h"

#include <zlib.h>

#include <climits>

namespace decode {

RectResult SolMonoZipDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const SubRectBatch batch = SubRectBatch::FromHeader(h, t, "SolMonoZip");
    const size_t length = ReadCompressedLength(in, batch.size, "SolMonoZip");
    in.readBytes(m_compressed.reserve(length, t.log), length);
    m_data.reserve(batch.size, t.log);
    uLongf made = static_cast<uLongf>(batch.size);
    if (batch.size > ULONG_MAX || length > ULONG_MAX ||
        uncompress(m_data.data(), &made, m_compressed.data(), static_cast<uLong>(length)) != Z_OK) {
        t.log.write(LogLevel::DebugError, "SolMonoZip: zlib data does not uncompress\n");
        return RectResult::Abandoned;
    }
    const size_t bpp = t.colours.bytesPerPixel();
    ByteSpan data(m_data.data(), made);
    for (size_t i = 0; i < batch.count; ++i) {
        SubRect sub;
        if (!SubRect::Read(data, t.fb.bounds(), sub))
            return RectResult::Drawn;
        const RectHeader& s = sub.header;
        const rfb::Rect area = s.rect();
        const size_t pixels = static_cast<size_t>(s.w) * static_cast<size_t>(s.h);
        MaskMode mode;
        switch (s.encoding) {
        case kEncSolidColour: {
            const uint8_t* p = data.take(bpp);
            if (!p)
                return RectResult::Drawn;
            Framebuffer::Canvas canvas = t.fb.draw();
            canvas.saveToCache(area);
            canvas.fill(area, t.colours.read(p));
            t.noteChanged(area);
            continue;
        }
        case kEncRaw: {
            const uint8_t* p = data.take(pixels * bpp);
            if (!p)
                return RectResult::Drawn;
            m_colours.resize(pixels);
            t.colours.convert(p, pixels, m_colours.data());
            Framebuffer::Canvas canvas = t.fb.draw();
            canvas.saveToCache(area);
            canvas.put(s.x, s.y, s.w, s.h, m_colours.data());
            t.noteChanged(area);
            continue;
        }
        case kEncXorMonoColourZlib:
            mode = MaskMode::TwoColours;
            break;
        case kEncXorZlib:
            mode = MaskMode::SetBitsOnly;
            break;
        default:
            t.log.write(LogLevel::DebugError, "SolMonoZip: sub-rectangle of unknown encoding %d\n",
                        static_cast<int>(s.encoding));
            return RectResult::Abandoned;
        }
        const size_t need = MaskedPixels::DataSize(mode, data.take(0), data.left(), s.w, s.h, bpp);
        const uint8_t* p = data.take(need);
        if (!p)
            return RectResult::Drawn;
        m_masked.prepare(mode, area, p, t.colours);
        Framebuffer::Canvas canvas = t.fb.draw();
        canvas.saveToCache(area);
        m_masked.draw(canvas);
        t.noteChanged(area);
    }
    return RectResult::Drawn;
}

} // namespace decode
