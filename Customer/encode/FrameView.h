// A read-only view of pixels in memory: the host's frame buffers as the
// encoders read them. Rows are stride bytes apart; size is how many bytes may
// be read from data, so every rectangle is checked against it.
#pragma once

#include "rfb/PixelFormat.h"
#include "rfb/Rect.h"

#include <cstddef>
#include <cstdint>

struct FrameView {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t stride = 0;
    int width = 0;
    int height = 0;

    rfb::Rect bounds() const { return rfb::Rect(0, 0, width, height); }
};
