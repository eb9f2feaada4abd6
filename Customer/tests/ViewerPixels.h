// What a viewer must see from the host, for the tests that check decoded
// frames against the source: the test decoder's format for a pixel format,
// and the viewer pixel value each host pixel must become.
#pragma once

#include "Customer/tests/RfbTestDecoder.h"
#include "rfb/PixelFormat.h"

#include <cstdint>

namespace testframes {

testrfb::Format ToTest(const rfb::PixelFormat& pf);

// Each channel scaled to the viewer's range, rounded to nearest (a colour-map
// viewer gets BGR233 indexes).
uint32_t Expected(uint32_t p, const rfb::PixelFormat& in, const rfb::PixelFormat& viewer);

} // namespace testframes
