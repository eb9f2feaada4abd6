#include "Customer/encode/vncEncoder.h"

#include "Customer/encode/HostLog.h"
#include "rfb/RfbProto.h"
#include "rfb/Exception.h"

#include <cstring>

namespace {

bool isPaletteFormat(const rfb::PixelFormat& pf)
{
    return !pf.trueColour && pf.bitsPerPixel == 8;
}

template <class OUT>
bool buildTables(std::vector<OUT>& table, const rfb::PixelFormat& in, const rfb::PixelFormat& out,
                 const std::vector<rfb::PaletteEntry>& palette, rfb::TranslateFn& fn)
{
    if (isPaletteFormat(in)) {
        fn = rfb::SingleTableTranslator(8, out.bitsPerPixel);
        return rfb::InitColourMapSingleTable(table, out, palette.data(), palette.size());
    }
    if (in.bitsPerPixel <= 16) {
        fn = rfb::SingleTableTranslator(in.bitsPerPixel, out.bitsPerPixel);
        return rfb::InitTrueColourSingleTable(table, in, out);
    }
    fn = rfb::RGBTablesTranslator(in.bitsPerPixel, out.bitsPerPixel);
    return rfb::InitTrueColourRGBTables(table, in, out);
}

} // namespace

bool CursorImage::IsConsistent(int localBytesPerPixel) const
{
    if (width < 0 || height < 0 || width > 0xFFFF || height > 0xFFFF)
        return false;
    const size_t pixelsNeeded = static_cast<size_t>(width) * static_cast<size_t>(height) *
                                static_cast<size_t>(localBytesPerPixel);
    return mask.size() >= MaskBytes() && (source.empty() || source.size() >= MaskBytes()) &&
           (pixels.empty() || pixels.size() >= pixelsNeeded);
}

void vncEncoder::Init()
{
    m_rects = 0;
    m_bytes = 0;
}

void vncEncoder::SetLocalFormat(const rfb::PixelFormat& pf, int width, int height)
{
    m_local = pf;
    m_screenWidth = width;
    m_screenHeight = height;
}

void vncEncoder::SetLocalPalette(const rfb::PaletteEntry* entries, size_t count)
{
    m_localPalette.assign(entries, entries + (count > 256 ? 256 : count));
}

bool vncEncoder::SetTranslateFunction()
{
    HostLog(kHostLogDebugInfo, "settranslatefunction called\n");
    m_translate = nullptr;
    m_table = nullptr;
    const rfb::PixelFormat& in = m_local;
    const rfb::PixelFormat& rem = m_remote;
    if (rem.bitsPerPixel != 8 && rem.bitsPerPixel != 16 && rem.bitsPerPixel != 32) {
        HostLog(kHostLogError, "only 8, 16 or 32 bits supported remotely - %d requested\n", rem.bitsPerPixel);
        return false;
    }
    if (in.bitsPerPixel != 8 && in.bitsPerPixel != 16 && in.bitsPerPixel != 32) {
        HostLog(kHostLogError, "only 8, 16 or 32 bits supported locally - %d in use\n", in.bitsPerPixel);
        return false;
    }
    if (!rem.trueColour && rem.bitsPerPixel != 8) {
        HostLog(kHostLogError, "only 8-bit palette format supported remotely\n");
        return false;
    }
    if (!in.trueColour && in.bitsPerPixel != 8) {
        HostLog(kHostLogError, "only 8-bit palette format supported locally\n");
        return false;
    }
    if (rem.trueColour && !rem.isValid()) {
        HostLog(kHostLogError, "client pixel format is not supported\n");
        return false;
    }

    if (isPaletteFormat(in) && isPaletteFormat(rem)) {
        HostLog(kHostLogDebugInfo, "no encoding required - both 8-bit palettized\n");
        m_out = rem;
        m_translate = rfb::TranslateNone;
        return true;
    }
    m_out = rem;
    if (in.trueColour && isPaletteFormat(rem)) {
        HostLog(kHostLogDebugInfo, "local truecolour, remote palettized.  using BGR233 palette\n");
        m_out = rfb::BGR233Format();
    } else if (isPaletteFormat(in)) {
        HostLog(kHostLogDebugInfo, "using 8-bit colourmap to truecolour translation\n");
    } else if (!in.isValid()) {
        HostLog(kHostLogError, "unknown local pixel format in use!\n");
        return false;
    } else if (in.equals(rem)) {
        HostLog(kHostLogDebugInfo, "no translation required\n");
        m_translate = rfb::TranslateNone;
        return true;
    } else {
        HostLog(kHostLogDebugInfo, in.bitsPerPixel <= 16 ? "single LUT used\n" : "triple LUT used\n");
    }

    bool ok = false;
    switch (m_out.bitsPerPixel) {
    case 8:
        ok = buildTables(m_table8, in, m_out, m_localPalette, m_translate);
        m_table = m_table8.data();
        break;
    case 16:
        ok = buildTables(m_table16, in, m_out, m_localPalette, m_translate);
        m_table = m_table16.data();
        break;
    default:
        ok = buildTables(m_table32, in, m_out, m_localPalette, m_translate);
        m_table = m_table32.data();
        break;
    }
    if (!ok || !m_translate) {
        HostLog(kHostLogError, "client pixel format is not supported\n");
        m_translate = nullptr;
        m_table = nullptr;
        return false;
    }
    return true;
}

bool vncEncoder::GetRemotePalette(rfb::PaletteEntry entries[256]) const
{
    HostLog(kHostLogDebugInfo, "remote palette data requested\n");
    if (m_remote.trueColour)
        return false;
    if (m_local.trueColour) {
        HostLog(kHostLogDebugInfo, "generating BGR233 palette data\n");
        for (int i = 0; i < 256; ++i) {
            entries[i].red = static_cast<uint8_t>((i & 7) * 255 / 7);
            entries[i].green = static_cast<uint8_t>(((i >> 3) & 7) * 255 / 7);
            entries[i].blue = static_cast<uint8_t>(((i >> 6) & 3) * 255 / 3);
        }
        return true;
    }
    HostLog(kHostLogDebugInfo, "generating 8-bit palette data\n");
    if (m_localPalette.empty()) {
        HostLog(kHostLogError, "failed to obtain colour map data!\n");
        return false;
    }
    for (int i = 0; i < 256; ++i) {
        if (static_cast<size_t>(i) < m_localPalette.size()) {
            entries[i] = m_localPalette[static_cast<size_t>(i)];
        } else {
            entries[i].red = (i & 1) ? 255 : 0;
            entries[i].green = (i & 2) ? 255 : 0;
            entries[i].blue = (i & 4) ? 255 : 0;
        }
    }
    return true;
}

void vncEncoder::WriteHeader(rdr::OutStream& out, const rfb::Rect& r, int32_t encoding) const
{
    out.writeU16(static_cast<uint16_t>(r.left - m_originX));
    out.writeU16(static_cast<uint16_t>(r.top - m_originY));
    out.writeU16(static_cast<uint16_t>(r.width()));
    out.writeU16(static_cast<uint16_t>(r.height()));
    out.writeS32(encoding);
}

const uint8_t* vncEncoder::TranslateToWork(const FrameView& src, const rfb::Rect& r)
{
    if (r.is_empty() || !r.enclosed_by(src.bounds()) || r.width() > 0xFFFF || r.height() > 0xFFFF)
        throw rdr::Exception("rectangle outside the frame buffer");
    const size_t outBytes = static_cast<size_t>(r.width()) * static_cast<size_t>(r.height()) *
                            static_cast<size_t>(m_out.bytesPerPixel());
    if (m_work.size() < outBytes)
        m_work.resize(outBytes);
    const size_t offset = static_cast<size_t>(r.top) * src.stride +
                          static_cast<size_t>(r.left) * static_cast<size_t>(m_local.bytesPerPixel());
    if (offset > src.size ||
        !rfb::TranslateRect(m_translate, m_table, m_local, m_out, src.data + offset, src.size - offset, src.stride,
                            m_work.data(), m_work.size(), r.width(), r.height()))
        throw rdr::Exception("pixel translation failed");
    return m_work.data();
}

size_t vncEncoder::EncodeRect(const FrameView& src, rdr::OutStream& out, const rfb::Rect& r)
{
    const uint8_t* pixels = TranslateToWork(src, r);
    const size_t bytes = static_cast<size_t>(r.width()) * static_cast<size_t>(r.height()) *
                         static_cast<size_t>(m_out.bytesPerPixel());
    WriteHeader(out, r, rfbproto::kEncRaw);
    out.writeBytes(pixels, bytes);
    Count(bytes + 12);
    return bytes + 12;
}

bool vncEncoder::SendCursorShape(rdr::OutStream& out, const CursorImage& cursor)
{
    if (!m_xCursor && !m_richCursor)
        return false;
    if (!cursor.IsConsistent(m_local.bytesPerPixel()) || cursor.width == 0 || cursor.height == 0)
        return false;
    const size_t maskBytes = cursor.MaskBytes();
    const rfb::Rect hotRect(cursor.hotX, cursor.hotY, cursor.hotX + cursor.width, cursor.hotY + cursor.height);
    if (m_xCursor) {
        if (cursor.source.size() < maskBytes)
            return false;
        out.writeU16(static_cast<uint16_t>(cursor.hotX));
        out.writeU16(static_cast<uint16_t>(cursor.hotY));
        out.writeU16(static_cast<uint16_t>(cursor.width));
        out.writeU16(static_cast<uint16_t>(cursor.height));
        out.writeS32(rfbproto::kEncXCursor);
        const uint8_t colours[6] = {0, 0, 0, 255, 255, 255};
        out.writeBytes(colours, sizeof colours);
        out.writeBytes(cursor.source.data(), maskBytes);
        out.writeBytes(cursor.mask.data(), maskBytes);
        return true;
    }
    if (cursor.pixels.empty() || !m_translate)
        return false;
    FrameView view;
    view.data = cursor.pixels.data();
    view.size = cursor.pixels.size();
    view.width = cursor.width;
    view.height = cursor.height;
    view.stride = static_cast<size_t>(cursor.width) * static_cast<size_t>(m_local.bytesPerPixel());
    const uint8_t* pixels = TranslateToWork(view, view.bounds());
    out.writeU16(static_cast<uint16_t>(hotRect.left));
    out.writeU16(static_cast<uint16_t>(hotRect.top));
    out.writeU16(static_cast<uint16_t>(cursor.width));
    out.writeU16(static_cast<uint16_t>(cursor.height));
    out.writeS32(rfbproto::kEncRichCursor);
    out.writeBytes(pixels, static_cast<size_t>(cursor.width) * static_cast<size_t>(cursor.height) *
                               static_cast<size_t>(m_out.bytesPerPixel()));
    out.writeBytes(cursor.mask.data(), maskBytes);
    return true;
}

bool vncEncoder::SendEmptyCursorShape(rdr::OutStream& out)
{
    if (!m_xCursor && !m_richCursor)
        return false;
    out.writeU16(0);
    out.writeU16(0);
    out.writeU16(0);
    out.writeU16(0);
    out.writeS32(m_xCursor ? rfbproto::kEncXCursor : rfbproto::kEncRichCursor);
    return true;
}
