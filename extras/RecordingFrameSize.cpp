#include "extras/RecordingFrameSize.h"

int32_t EvenRecordingHeight(int32_t height)
{
    return height > 0 ? height & ~1 : 0;
}

uint32_t FrameImageBytes(int32_t width, int32_t height, int bitsPerPixel)
{
    if (width < 1 || height < 1 || width > kMaxRecordingSide || height > kMaxRecordingSide)
        return 0;
    if (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
        return 0;
    const uint64_t stride = (static_cast<uint64_t>(width) * static_cast<unsigned>(bitsPerPixel) + 31) / 32 * 4;
    return static_cast<uint32_t>(stride * static_cast<uint64_t>(height));  // at most 1 GiB
}
