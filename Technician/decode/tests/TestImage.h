// Test pictures in a client pixel format, and what the viewer must show for
// them, worked out here from the RFB pixel-format rules alone (no decoder
// code): each channel ((p >> shift) & max) * 255 / max, packed 0x00RRGGBB.
#pragma once

#include "rfb/PixelFormat.h"
#include "rfb/Rect.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testdecode {

using Bytes = std::vector<uint8_t>;

struct ClientFormat {
    const char* name;
    rfb::PixelFormat pf;
};

// The client formats the tests cover: the viewer's own rows, the host's
// formats and byte orders the test decoder knows.
const std::vector<ClientFormat>& ClientFormats();
const ClientFormat& FormatNamed(const std::string& name);

// A picture of pixel values in a client format.
struct ClientImage {
    rfb::PixelFormat pf;
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;

    uint32_t at(int x, int y) const { return px[static_cast<size_t>(y) * static_cast<size_t>(width) + x]; }
    uint32_t& at(int x, int y) { return px[static_cast<size_t>(y) * static_cast<size_t>(width) + x]; }
};

// The host's desktop-like or photo-like test frame, each pixel scaled to the
// client format.
ClientImage DesktopImage(const rfb::PixelFormat& pf, int w, int h, unsigned seed = 1);
ClientImage PhotoImage(const rfb::PixelFormat& pf, int w, int h, unsigned seed = 1);
// r, g, b in 0..255 as a pixel value of pf.
uint32_t PixelOf(const rfb::PixelFormat& pf, unsigned r, unsigned g, unsigned b);

uint32_t Rule1(uint32_t pixel, const rfb::PixelFormat& pf);

// Big-endian geometry and lengths, pixels in the format's byte order.
void PutU8(Bytes& b, unsigned v);
void PutU16(Bytes& b, unsigned v);
void PutU32(Bytes& b, uint32_t v);
void PutPixel(Bytes& b, const rfb::PixelFormat& pf, uint32_t v);
void PutHeader(Bytes& b, int x, int y, int w, int h, int32_t encoding);
void Append(Bytes& b, const Bytes& more);

} // namespace testdecode
