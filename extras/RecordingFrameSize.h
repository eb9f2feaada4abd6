#pragma once
// Sizes of the recorded picture: the recording rectangle's height and the
// bytes of one frame as the writer's uncompressed input takes it.
#include <cstdint>

// Widths and heights above this are refused (no frame is that large).
constexpr int32_t kMaxRecordingSide = 16384;

// The recording rectangle's height: an odd height records one line less.
int32_t EvenRecordingHeight(int32_t height);
// Bytes of a bottom-up frame: rows of width x bitsPerPixel bits rounded up to
// 4 bytes, times height. 0 for a size or depth that cannot be a frame
// (width or height outside 1..kMaxRecordingSide, depth not 16, 24 or 32).
uint32_t FrameImageBytes(int32_t width, int32_t height, int bitsPerPixel);
