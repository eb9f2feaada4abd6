// The decoders of one viewing session, with the state they keep across
// rectangles (ZRLE's stream, Tight's four, the zlib family's one, ZlibHex's
// two, buffers). A session is made for each viewing session and ends its
// streams when it goes, so a new session starts new ones, as the host does.
//
// decode() reads one rectangle whose header has been read: it checks the
// size, saves the area for the cache where the encoding overwrites it, runs
// the encoding's decoder and reports the areas it changed.
#pragma once

#include "Technician/decode/CacheDecoder.h"
#include "Technician/decode/CopyRectDecoder.h"
#include "Technician/decode/HextileDecoder.h"
#include "Technician/decode/RawDecoder.h"
#include "Technician/decode/RreDecoder.h"
#include "Technician/decode/SolMonoZipDecoder.h"
#include "Technician/decode/SolidColourDecoder.h"
#include "Technician/decode/TightDecoder.h"
#include "Technician/decode/UltraDecoder.h"
#include "Technician/decode/ZlibFamilyDecoder.h"
#include "Technician/decode/ZlibHexDecoder.h"
#include "Technician/decode/ZrleDecoder.h"

#include <memory>

namespace decode {

class DecodeSession {
public:
    // Throws DecodeError when the format cannot be decoded (see PixelColours).
    DecodeSession(Framebuffer& fb, const rfb::PixelFormat& format, DecodeLog log = DecodeLog());

    // A new client pixel format; the colour tables are built once here. The
    // cache's pictures were in the old format, so the cache is cleared.
    void setFormat(const rfb::PixelFormat& format);
    // Blackens the cache surface (new size, new format, or the host asks),
    // with the log line, while the cache is on.
    void clearCache();

    static bool Handles(int32_t encoding);

    // Decodes the rectangle that follows header h in `in`; appends the areas
    // it changed to `changed`. Throws DecodeError (or the stream's exception)
    // when the rectangle cannot be read in step; the session is then over.
    RectResult decode(rdr::InStream& in, const RectHeader& h, std::vector<rfb::Rect>& changed);

private:
    static int Slot(int32_t encoding);

    Framebuffer& m_fb;
    DecodeLog m_log;
    std::unique_ptr<PixelColours> m_colours;
    RawDecoder m_raw;
    CopyRectDecoder m_copyRect;
    RreDecoder m_rre{false};
    RreDecoder m_corre{true};
    HextileDecoder m_hextile;
    ZlibHexDecoder m_zlibHex;
    TightDecoder m_tight;
    ZlibFamilyDecoder m_zlibFamily;
    ZlibDecoder m_zlib{m_zlibFamily};
    XorDecoder m_xor{m_zlibFamily, MaskMode::SetBitsOnly};
    XorDecoder m_xorMulti{m_zlibFamily, MaskMode::OverBackground};
    XorDecoder m_xorMono{m_zlibFamily, MaskMode::TwoColours};
    SolidColourDecoder m_solid;
    SolMonoZipDecoder m_solMonoZip;
    UltraDecoder m_ultra;
    UltraZipDecoder m_ultraZip;
    CacheDecoder m_cache;
    CacheZipDecoder m_cacheZip;
    ZrleDecoder m_zrle;
    // In the order of Slot's list.
    RectDecoder* m_decoders[18];
};

} // namespace decode
