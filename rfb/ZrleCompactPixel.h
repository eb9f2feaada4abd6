// How ZRLE carries 32-bit pixels: whole, or as their low or high three bytes
// when every colour bit lies there. The host's encoder and the viewer's
// decoder both ask this one function, so they always agree on the width.
#pragma once

#include "rfb/PixelFormat.h"

enum class ZrleCPixel { Full, Low3, High3 };

// Pixels of other sizes than 32 bits always travel whole.
ZrleCPixel ZrleCompactPixelRule(const rfb::PixelFormat& pf);
