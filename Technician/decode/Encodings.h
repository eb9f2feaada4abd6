// Rectangle encodings the viewer decodes.
#pragma once

#include <cstdint>

namespace decode {

constexpr int32_t kEncRaw = 0;
constexpr int32_t kEncCopyRect = 1;
constexpr int32_t kEncRRE = 2;
constexpr int32_t kEncCoRRE = 4;
constexpr int32_t kEncHextile = 5;
constexpr int32_t kEncZlib = 6;
constexpr int32_t kEncTight = 7;
constexpr int32_t kEncZlibHex = 8;
constexpr int32_t kEncUltra = 9;
constexpr int32_t kEncZRLE = 16;
constexpr int32_t kEncCache = static_cast<int32_t>(0xFFFF0000u);
constexpr int32_t kEncXorZlib = static_cast<int32_t>(0xFFFF0002u);
constexpr int32_t kEncXorMonoColourZlib = static_cast<int32_t>(0xFFFF0003u);
constexpr int32_t kEncXorMultiColourZlib = static_cast<int32_t>(0xFFFF0004u);
constexpr int32_t kEncSolidColour = static_cast<int32_t>(0xFFFF0005u);
constexpr int32_t kEncCacheZip = static_cast<int32_t>(0xFFFF0007u);
constexpr int32_t kEncSolMonoZip = static_cast<int32_t>(0xFFFF0008u);
constexpr int32_t kEncUltraZip = static_cast<int32_t>(0xFFFF0009u);

} // namespace decode
