#pragma once
// The kind of a received canvas message, from its first five characters:
// "MEMA:" 0, "MEWB:" 1, "CEMA:" 2, "CEWB:" 3, "TIMA:" 4, "TIWB:" 5,
// "EVBH:" 100; anything else, or a shorter text, -1. Even kinds belong to the
// annotation canvas, odd kinds to the whiteboard, 100 to both.
#include <cstddef>

constexpr int kCanvasKindBoth = 100;

int ClassifyCanvasMessage(const char* text, size_t length);
