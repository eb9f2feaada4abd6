// A viewer for the tests: a framebuffer, a decode session on it, the log
// lines it wrote and the areas it reported, and a reader of whole
// rectangles (12-byte header and body) from bytes. The lines that say a
// buffer grew ("... bufsize expanded to %d") are kept apart in `growth`, so
// `log` holds what the rectangles themselves had to say.
#pragma once

#include "Technician/decode/DecodeSession.h"
#include "Technician/decode/tests/TestImage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testdecode {

class Viewer {
public:
    Viewer(const rfb::PixelFormat& pf, int w, int h);

    // Decodes every rectangle in bytes; throws what the session throws.
    std::vector<decode::RectResult> decodeAll(const Bytes& bytes);
    decode::RectResult decodeOne(const Bytes& bytes);
    uint32_t at(int x, int y) { return fb.view().pixel(x, y); }

    decode::Framebuffer fb;
    std::vector<std::string> log;
    std::vector<std::string> growth;
    std::vector<rfb::Rect> changed;
    decode::DecodeSession session;
};

decode::RectHeader ReadHeader(rdr::InStream& in);

// Every pixel of r in the viewer shows img's pixel through Rule1.
::testing::AssertionResult Shows(Viewer& v, const ClientImage& img, const rfb::Rect& r);
// Every pixel of r in the viewer is colour.
::testing::AssertionResult ShowsColour(Viewer& v, uint32_t colour, const rfb::Rect& r);

} // namespace testdecode
