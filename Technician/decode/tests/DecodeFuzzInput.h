// The input of the decode fuzz target, shared by the target and the program
// that writes its seeds (DecodeFuzzSeeds.cpp):
//   byte 0   the encoding of every rectangle: FuzzEncodings()[byte % 18]
//   byte 1   the client pixel format: ClientFormats()[byte % 12]
//   byte 2   bit 0 turns the cache encoding on
// then records, until the bytes end or a rectangle fails:
//   0xFE f     a new client pixel format, f picking it as byte 1 does
//   0xFF w h   a new framebuffer size, (w % 64 + 1) x (h % 64 + 1), and the
//              cache cleared, as the viewer does for a new size
//   any other  a rectangle: x, y, w, h (16 bits each), then its body
// Rectangles are decoded on one session into a framebuffer that starts at
// 48 x 40.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testdecode {

constexpr uint8_t kFuzzRectangle = 0x00;
constexpr uint8_t kFuzzNewFormat = 0xFE;
constexpr uint8_t kFuzzNewSize = 0xFF;
constexpr int kFuzzWidth = 48, kFuzzHeight = 40;

const std::vector<int32_t>& FuzzEncodings();

struct FuzzRun {
    size_t records = 0; // records handled before the end or the failure
    bool completed = false; // every byte was used and no rectangle failed
    bool inside = true; // every area reported lay inside the framebuffer
};

FuzzRun RunFuzzInput(const uint8_t* data, size_t size);

} // namespace testdecode
