#pragma once
// Participant marks: the text of packet 28 ("x,y\r\n" then the sender's
// UTF-8 name and "\r\n") and the marker's shape (every non-red pixel of its
// picture, as one-pixel-high runs).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Names are held in 127 UTF-16 units at most.
constexpr size_t kMarkMaxNameUnits = 127;
// A coordinate beyond this lies off every screen: the mark is dropped.
constexpr int kMarkMaxCoordinate = 65535;

// "123,456\r\nAlice\r\n"; empty for an empty name.
std::string BuildMarkText(int x, int y, std::string_view nameUtf8);

struct MarkPoint {
    int x = 0;
    int y = 0;
    std::string name;  // UTF-8, cut to kMarkMaxNameUnits
};

// None for a text without two line ends, an empty name, or a coordinate
// that is not a bounded decimal number (a missing y after no comma is 0).
std::optional<MarkPoint> ParseMarkText(std::string_view text);

// An optional sign and 1-6 digits within +-kMarkMaxCoordinate; empty or
// anything else fails.
std::optional<int> ReadMarkCoordinate(std::string_view text);

struct PixelRun {
    int x;
    int y;
    int width;
};
// Every run of pixels in a row whose colour (0xRRGGBB, top-down rows) is not
// pure red; red is the transparent colour.
std::vector<PixelRun> OpaqueRuns(const uint32_t* pixels, int width, int height);
