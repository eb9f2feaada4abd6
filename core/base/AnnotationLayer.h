#pragma once
// The annotation drawn over the shared screen, as the viewer composes it:
// a picture the size of the presenter's screen, top-down, each pixel
// 0xAARRGGBB with its colour already multiplied by its alpha (0 where
// nothing is drawn).
#include <cstdint>
#include <vector>

struct AnnotationLayer {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};
