#include "Technician/decode/DecodeSession.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/Encodings.h"

#include <cstdio>

namespace decode {

namespace {

// Encodings whose header carries counts and sizes in place of geometry.
bool headerIsGeometry(int32_t encoding)
{
    return encoding != kEncCacheZip && encoding != kEncSolMonoZip && encoding != kEncUltraZip;
}

// Encodings that overwrite their rectangle with new pixels: the cache keeps
// what the area showed before.
bool savesArea(int32_t encoding)
{
    switch (encoding) {
    case kEncCopyRect:
    case kEncUltra:
    case kEncCache:
    case kEncCacheZip:
    case kEncSolMonoZip:
    case kEncUltraZip:
        return false;
    default:
        return true;
    }
}

} // namespace

DecodeSession::DecodeSession(Framebuffer& fb, const rfb::PixelFormat& format, DecodeLog log)
    : m_fb(fb), m_log(std::move(log)), m_colours(new PixelColours(format))
{
}

void DecodeSession::setFormat(const rfb::PixelFormat& format)
{
    m_colours.reset(new PixelColours(format));
}

bool DecodeSession::Handles(int32_t encoding)
{
    switch (encoding) {
    case kEncRaw:
    case kEncCopyRect:
    case kEncRRE:
    case kEncCoRRE:
    case kEncHextile:
    case kEncZlib:
    case kEncTight:
    case kEncZlibHex:
    case kEncUltra:
    case kEncZRLE:
    case kEncCache:
    case kEncXorZlib:
    case kEncXorMonoColourZlib:
    case kEncXorMultiColourZlib:
    case kEncSolidColour:
    case kEncCacheZip:
    case kEncSolMonoZip:
    case kEncUltraZip:
        return true;
    default:
        return false;
    }
}

RectDecoder* DecodeSession::decoderFor(int32_t encoding)
{
    switch (encoding) {
    case kEncRaw: return &m_raw;
    case kEncCopyRect: return &m_copyRect;
    case kEncRRE: return &m_rre;
    case kEncCoRRE: return &m_corre;
    case kEncHextile: return &m_hextile;
    case kEncZlib: return &m_zlib;
    case kEncTight: return &m_tight;
    case kEncZlibHex: return &m_zlibHex;
    case kEncUltra: return &m_ultra;
    case kEncZRLE: return &m_zrle;
    case kEncCache: return &m_cache;
    case kEncXorZlib: return &m_xor;
    case kEncXorMonoColourZlib: return &m_xorMono;
    case kEncXorMultiColourZlib: return &m_xorMulti;
    case kEncSolidColour: return &m_solid;
    case kEncCacheZip: return &m_cacheZip;
    case kEncSolMonoZip: return &m_solMonoZip;
    case kEncUltraZip: return &m_ultraZip;
    default: return nullptr;
    }
}

RectResult DecodeSession::decode(rdr::InStream& in, const RectHeader& h, std::vector<rfb::Rect>& changed)
{
    RectDecoder* decoder = decoderFor(h.encoding);
    if (!decoder) {
        char text[80];
        std::snprintf(text, sizeof text, "unknown encoding %d", static_cast<int>(h.encoding));
        throw DecodeError(text);
    }
    if (headerIsGeometry(h.encoding)) {
        if (h.w > m_fb.width() || h.h > m_fb.height())
            throw DecodeError("rectangle larger than the framebuffer");
        if (savesArea(h.encoding) && m_fb.cacheEnabled())
            m_fb.draw().saveToCache(h.rect());
    }
    DecodeTarget target{m_fb, *m_colours, m_log, changed};
    return decoder->decode(in, h, target);
}

} // namespace decode
