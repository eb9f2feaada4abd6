// What every rectangle decoder sees: the rectangle header, the picture it
// draws into, the colours of the client pixel format, the log, and the list
// of areas it changed (the viewer repaints them).
#pragma once

#include "Technician/decode/DecodeLog.h"
#include "Technician/decode/Framebuffer.h"
#include "Technician/decode/PixelColours.h"
#include "rfb/InStream.h"
#include "rfb/Rect.h"

#include <cstdint>
#include <vector>

namespace decode {

// A rectangle header as read: x, y, w, h (16 bits each) and the encoding.
struct RectHeader {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    int32_t encoding = 0;

    rfb::Rect rect() const { return rfb::Rect(x, y, x + w, y + h); }
};

struct DecodeTarget {
    Framebuffer& fb;
    const PixelColours& colours;
    const DecodeLog& log;
    std::vector<rfb::Rect>& changed;

    // Notes an area as changed, clipped to the picture.
    void noteChanged(const rfb::Rect& r)
    {
        const rfb::Rect c = r.intersect(fb.bounds());
        if (!c.is_empty())
            changed.push_back(c);
    }
};

// Drawn: the rectangle was read and drawn. Abandoned: every byte of it was
// read but it could not be drawn (its log line says why); the next rectangle
// follows in step. A rectangle that cannot be read in step throws DecodeError.
enum class RectResult { Drawn, Abandoned };

class RectDecoder {
public:
    virtual ~RectDecoder() = default;
    virtual RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) = 0;
};

} // namespace decode
