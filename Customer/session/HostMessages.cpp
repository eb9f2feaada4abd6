#include "Customer/session/HostMessages.h"

#include "Customer/encode/HostLog.h"
#include "rfb/RfbProto.h"
#include "Customer/session/ViewerMessages.h"

#include <zlib.h>

namespace hostmsg {

void WriteStartReply(rdr::OutStream& out, uint8_t token, int width, int height, const rfb::PixelFormat& pf)
{
    uint8_t format[16];
    SerialisePixelFormat(pf, format);
    out.writeU8(rfbproto::kStartReply);
    out.writeU8(token);
    out.writeU16(static_cast<uint16_t>(width));
    out.writeU16(static_cast<uint16_t>(height));
    out.writeBytes(format, sizeof format);
    out.pad(2);
    out.writeU32(0);
}

void WriteUpdateHeader(rdr::OutStream& out, uint16_t rectCount)
{
    out.writeU8(rfbproto::kFramebufferUpdate);
    out.pad(1);
    out.writeU16(rectCount);
}

void WriteColourMap(rdr::OutStream& out, const rfb::PaletteEntry entries[256])
{
    out.writeU8(rfbproto::kSetColourMapEntries);
    out.pad(1);
    out.writeU16(0);
    out.writeU16(256);
    for (int i = 0; i < 256; ++i) {
        out.writeU16(static_cast<uint16_t>(entries[i].red << 8));
        out.writeU16(static_cast<uint16_t>(entries[i].green << 8));
        out.writeU16(static_cast<uint16_t>(entries[i].blue << 8));
    }
}

void WriteServerCutText(rdr::OutStream& out, const std::string& text)
{
    out.writeU8(rfbproto::kServerCutText);
    out.pad(3);
    out.writeU32(static_cast<uint32_t>(text.size()));
    out.writeBytes(text.data(), text.size());
}

void WriteResize(rdr::OutStream& out, int width, int height)
{
    out.writeU8(rfbproto::kResize);
    out.pad(1);
    out.writeU16(static_cast<uint16_t>(width));
    out.writeU16(static_cast<uint16_t>(height));
}

void WriteResizeFullSize(rdr::OutStream& out, int fullWidth, int fullHeight, int width, int height)
{
    out.writeU8(rfbproto::kResizeFullSize);
    out.pad(1);
    out.writeU16(static_cast<uint16_t>(fullWidth));
    out.writeU16(static_cast<uint16_t>(fullHeight));
    out.writeU16(static_cast<uint16_t>(width));
    out.writeU16(static_cast<uint16_t>(height));
    out.pad(2);
}

void WriteRectHeader(rdr::OutStream& out, const rfb::Rect& r, int32_t encoding)
{
    out.writeU16(static_cast<uint16_t>(r.left));
    out.writeU16(static_cast<uint16_t>(r.top));
    out.writeU16(static_cast<uint16_t>(r.width()));
    out.writeU16(static_cast<uint16_t>(r.height()));
    out.writeS32(encoding);
}

void WriteCopyRect(rdr::OutStream& out, const rfb::Rect& dest, int srcX, int srcY)
{
    WriteRectHeader(out, dest, rfbproto::kEncCopyRect);
    out.writeU16(static_cast<uint16_t>(srcX));
    out.writeU16(static_cast<uint16_t>(srcY));
}

void WriteNewFBSize(rdr::OutStream& out, int width, int height)
{
    WriteRectHeader(out, rfb::Rect(0, 0, width, height), rfbproto::kEncNewFBSize);
}

void WriteLastRect(rdr::OutStream& out)
{
    WriteRectHeader(out, rfb::Rect(), rfbproto::kEncLastRect);
}

void WriteCacheRect(rdr::OutStream& out, const rfb::Rect& r)
{
    WriteRectHeader(out, r, rfbproto::kEncCache);
    out.writeU16(rfbproto::kCacheMarker);
}

bool WriteCacheZip(rdr::OutStream& out, const std::vector<rfb::Rect>& rects)
{
    std::vector<uint8_t> records;
    records.reserve(rects.size() * 8);
    for (const rfb::Rect& r : rects) {
        for (int v : {r.left, r.top, r.width(), r.height()}) {
            records.push_back(static_cast<uint8_t>(v >> 8));
            records.push_back(static_cast<uint8_t>(v));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(records.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress(packed.data(), &packedSize, records.data(), static_cast<uLong>(records.size())) != Z_OK)
        return false;
    HostLog(kHostLogDebug, "*** Sending CacheZip Rects=%d Size=%d (%d)\r\n", static_cast<int>(rects.size()),
            static_cast<int>(packedSize), static_cast<int>(rects.size() * 14));
    out.writeU16(static_cast<uint16_t>(rects.size()));
    out.writeU16(0);
    out.writeU16(0);
    out.writeU16(0);
    out.writeS32(rfbproto::kEncCacheZip);
    out.writeU32(static_cast<uint32_t>(packedSize));
    out.writeBytes(packed.data(), packedSize);
    return true;
}

} // namespace hostmsg
