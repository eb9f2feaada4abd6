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
    : m_fb(fb), m_log(std::move(log)), m_colours(new PixelColours(format)),
      m_decoders{&m_raw,   &m_copyRect, &m_rre,     &m_corre, &m_hextile,    &m_zlib,
                 &m_tight, &m_zlibHex,  &m_ultra,   &m_zrle,  &m_cache,      &m_xor,
                 &m_xorMono, &m_xorMulti, &m_solid, &m_cacheZip, &m_solMonoZip, &m_ultraZip}
{
}

void DecodeSession::setFormat(const rfb::PixelFormat& format)
{
    m_colours.reset(new PixelColours(format));
    clearCache();
}

void DecodeSession::clearCache()
{
    if (!m_fb.cacheEnabled())
        return;
    m_fb.draw().clearCache();
    m_log.write(LogLevel::DebugInfo, "Cache: Reset Cache\n");
}

bool DecodeSession::Handles(int32_t encoding)
{
    return Slot(encoding) >= 0;
}

// The one list of decoded encodings: each one's place in m_decoders.
int DecodeSession::Slot(int32_t encoding)
{
    static const int32_t kDecoded[] = {
        kEncRaw,     kEncCopyRect, kEncRRE,    kEncCoRRE,  kEncHextile,           kEncZlib,
        kEncTight,   kEncZlibHex,  kEncUltra,  kEncZRLE,   kEncCache,             kEncXorZlib,
        kEncXorMonoColourZlib,     kEncXorMultiColourZlib, kEncSolidColour,       kEncCacheZip,
        kEncSolMonoZip,            kEncUltraZip,
    };
    for (int i = 0; i < static_cast<int>(sizeof kDecoded / sizeof kDecoded[0]); ++i)
        if (kDecoded[i] == encoding)
            return i;
    return -1;
}

RectResult DecodeSession::decode(rdr::InStream& in, const RectHeader& h, std::vector<rfb::Rect>& changed)
{
    const int slot = Slot(h.encoding);
    if (slot < 0) {
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
    return m_decoders[slot]->decode(in, h, target);
}

} // namespace decode
