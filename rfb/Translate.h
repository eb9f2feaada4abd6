// Pixel translation from the host's pixel format into a viewer's, through
// lookup tables built once per format change. Input pixels are in the
// machine's own byte order (as captured); output pixels come out in the
// viewer's byte order because the tables hold them already swapped.
//
// Table kinds:
//  - single table: one output pixel per possible input value (8- and 16-bit
//    input only);
//  - RGB tables: red, green and blue tables end to end, each entry an output
//    pixel holding that channel alone, OR-ed together per pixel;
//  - colour-map table: 256 output pixels for an 8-bit palette input.
#pragma once

#include "rfb/PixelFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rfb {

struct PaletteEntry {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

// Each builder replaces the table; OutPixel is uint8_t, uint16_t or uint32_t and
// must match the output's bits per pixel. A builder returns false (and leaves
// the table empty) for a format it cannot serve: not valid, not true colour
// where needed, input in the other byte order, or 32-bit input for a single
// table.
template <class OutPixel>
bool InitTrueColourSingleTable(std::vector<OutPixel>& table, const PixelFormat& in, const PixelFormat& out);
template <class OutPixel>
bool InitTrueColourRGBTables(std::vector<OutPixel>& table, const PixelFormat& in, const PixelFormat& out);
// From the display palette: entries beyond count (at most 256 are used) are
// made from the index bits (bit 0 red, bit 1 green, bit 2 blue at 255).
template <class OutPixel>
bool InitColourMapSingleTable(std::vector<OutPixel>& table, const PixelFormat& out, const PaletteEntry* entries,
                              size_t count);

// Translates width x height pixels: input rows inBytesBetweenLines apart,
// output packed row after row. The caller guarantees the extent; use
// TranslateRect to have it checked against the buffers.
using TranslateFn = void (*)(const void* table, const PixelFormat& in, const PixelFormat& out, const uint8_t* inPtr,
                             uint8_t* outPtr, size_t inBytesBetweenLines, int width, int height);

// The routine for a pair of bits-per-pixel values, or null when there is none
// (single tables exist for 8- and 16-bit input only).
TranslateFn SingleTableTranslator(int inBitsPerPixel, int outBitsPerPixel);
TranslateFn RGBTablesTranslator(int inBitsPerPixel, int outBitsPerPixel);
// Equal formats: copies each row (table unused).
void TranslateNone(const void* table, const PixelFormat& in, const PixelFormat& out, const uint8_t* inPtr,
                   uint8_t* outPtr, size_t inBytesBetweenLines, int width, int height);

// Runs fn after checking that the rectangle lies inside both buffers
// (inAvailable bytes from inPtr, outAvailable from outPtr). Returns false,
// touching nothing, when it does not or when fn is null.
bool TranslateRect(TranslateFn fn, const void* table, const PixelFormat& in, const PixelFormat& out,
                   const uint8_t* inPtr, size_t inAvailable, size_t inBytesBetweenLines, uint8_t* outPtr,
                   size_t outAvailable, int width, int height);

} // namespace rfb
