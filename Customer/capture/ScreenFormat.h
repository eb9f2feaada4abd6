// The screen's pixel format as the capture bitmap reports it: bit counts
// that are captured wider, and the channel shifts and maxima from masks.
#pragma once

#include "rfb/PixelFormat.h"

#include <cstdint>

// 1 and 4 bits per pixel are captured as 8 (palette), 24 as 32.
int CaptureBitCount(int bitCount);

// Fills shifts and maxima of a true-colour format from its three masks:
// shift = trailing zero bits, maximum = mask >> shift. False for a mask of
// zero or one whose bits are not contiguous.
bool SetPixShifts(rfb::PixelFormat& pf, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);

// The masks of a BI_RGB bitmap: 5-5-5 at 16 bits, 8-8-8 at 32; false for
// other depths.
bool DefaultRgbMasks(int bitsPerPixel, uint32_t* red, uint32_t* green, uint32_t* blue);

// The server's OS class from GetVersionExA's platform id and version:
// 1 NT 5.x, 2 NT 6 and later (Windows 7 to 11), 3 NT 4 or older,
// 4 9x with a non-zero minor version (and anything unknown), 5 Windows 95.
int ClassifyServerOsClass(unsigned platformId, unsigned major, unsigned minor);
