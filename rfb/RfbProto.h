// Message types and encoding numbers of the sharing protocol: RFC 6143 without
// its version, security and initialisation exchange, plus this product's own
// start request/reply, scale, blank-screen and shared-window messages.
#pragma once

#include <cstdint>

namespace rfbproto {

// Viewer to host.
constexpr uint8_t kSetPixelFormat = 0;
constexpr uint8_t kSetEncodings = 2;
constexpr uint8_t kFramebufferUpdateRequest = 3;
constexpr uint8_t kKeyEvent = 4;
constexpr uint8_t kPointerEvent = 5;
constexpr uint8_t kClientCutText = 6;
constexpr uint8_t kSetScale = 8;
constexpr uint8_t kBlankScreen = 9;
constexpr uint8_t kSetSW = 10;
constexpr uint8_t kDisconnect = 13;
constexpr uint8_t kSetScaleFullSize = 15;
constexpr uint8_t kStartRequest = 74;
constexpr uint8_t kCursorPosOn = 93;
constexpr uint8_t kCursorPosOff = 94;

// Host to viewer.
constexpr uint8_t kFramebufferUpdate = 0;
constexpr uint8_t kSetColourMapEntries = 1;
constexpr uint8_t kServerCutText = 3;
constexpr uint8_t kResize = 4;
constexpr uint8_t kSetSWRefused = 10;
constexpr uint8_t kResizeFullSize = 15;
constexpr uint8_t kStartReply = 73;
constexpr uint8_t kInputDesktopRestored = 76;
constexpr uint8_t kInputDesktopLost = 77;

constexpr int kStartReplyLength = 28;
constexpr uint16_t kUnknownRectCount = 0xFFFF;

// Rectangle encodings and pseudo-encodings.
constexpr int32_t kEncRaw = 0;
constexpr int32_t kEncCopyRect = 1;
constexpr int32_t kEncHextile = 5;
constexpr int32_t kEncZRLE = 16;
constexpr int32_t kEncCache = static_cast<int32_t>(0xFFFF0000u);
constexpr int32_t kEncCacheEnable = static_cast<int32_t>(0xFFFF0001u);
constexpr int32_t kEncXorEnable = static_cast<int32_t>(0xFFFF0006u);
constexpr int32_t kEncCacheZip = static_cast<int32_t>(0xFFFF0007u);
constexpr int32_t kEncRichCursor = -239;
constexpr int32_t kEncXCursor = -240;
constexpr int32_t kEncNewFBSize = -223;
constexpr int32_t kEncLastRect = -224;
constexpr int32_t kEncCompressLevel0 = -256;
constexpr int32_t kEncCompressLevel9 = -247;
constexpr int32_t kEncQualityLevel0 = -32;
constexpr int32_t kEncQualityLevel9 = -23;

constexpr uint16_t kCacheMarker = 9999;

// Hextile sub-encoding bits.
constexpr uint8_t kHextileRaw = 1;
constexpr uint8_t kHextileBackground = 2;
constexpr uint8_t kHextileForeground = 4;
constexpr uint8_t kHextileAnySubrects = 8;
constexpr uint8_t kHextileSubrectsColoured = 16;

} // namespace rfbproto
