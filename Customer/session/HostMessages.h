// The messages and pseudo-rectangles the host writes, each into an output
// stream so that a whole message is built before it goes on the wire.
#pragma once

#include "rfb/OutStream.h"
#include "rfb/PixelFormat.h"
#include "rfb/Rect.h"
#include "rfb/Translate.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hostmsg {

// Start reply 73: token, size, the host's pixel format, no name (28 bytes).
void WriteStartReply(rdr::OutStream& out, uint8_t token, int width, int height, const rfb::PixelFormat& pf);
void WriteUpdateHeader(rdr::OutStream& out, uint16_t rectCount);
// SetColourMapEntries of 256 entries; each 8-bit value v goes out as v x 256.
void WriteColourMap(rdr::OutStream& out, const rfb::PaletteEntry entries[256]);
void WriteServerCutText(rdr::OutStream& out, const std::string& text);
void WriteResize(rdr::OutStream& out, int width, int height);
void WriteResizeFullSize(rdr::OutStream& out, int fullWidth, int fullHeight, int width, int height);

void WriteRectHeader(rdr::OutStream& out, const rfb::Rect& r, int32_t encoding);
void WriteCopyRect(rdr::OutStream& out, const rfb::Rect& dest, int srcX, int srcY);
void WriteNewFBSize(rdr::OutStream& out, int width, int height);
void WriteLastRect(rdr::OutStream& out);
void WriteCacheRect(rdr::OutStream& out, const rfb::Rect& r);
// One CacheZip rectangle for the records (x, y, width, height as u16);
// false, with nothing written, when compression fails.
bool WriteCacheZip(rdr::OutStream& out, const std::vector<rfb::Rect>& rects);

} // namespace hostmsg
