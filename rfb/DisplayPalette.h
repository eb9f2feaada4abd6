// The display's system palette, the source of the colour-map translation
// table when the host screen runs with 8-bit palette colour.
#pragma once

#include "rfb/Translate.h"

#include <vector>

namespace rfb {

// Reads up to 256 entries of the system palette: from the mirror display
// driver's device when mirrorDevice names it, else from the screen. Returns
// the entries read (none when the device has no palette or cannot be opened);
// InitColourMapSingleTable fills the rest from the index bits.
std::vector<PaletteEntry> ReadDisplayPalette(const char* mirrorDevice);

} // namespace rfb
