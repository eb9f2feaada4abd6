// UltraZip and SolMonoZip rectangles carry no geometry of their own: the
// header's x field counts the sub-rectangles and w * 65535 + y is the size of
// the decompressed data, which holds each sub-rectangle's 12-byte header (x,
// y, w, h, encoding) and its data. The size is capped by what the picture
// could need; the parser stops at the first sub-rectangle that is not wholly
// there or not inside the picture.
#pragma once

#include "Technician/decode/ByteSpan.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

struct SubRectBatch {
    size_t count = 0;
    size_t size = 0;

    // Throws DecodeError when the announced size is above the cap.
    static SubRectBatch FromHeader(const RectHeader& h, const DecodeTarget& t, const char* what);
};

struct SubRect {
    RectHeader header;
    // False when the sub-rectangle's header was not all there or its area
    // does not lie inside the picture.
    static bool Read(ByteSpan& data, const rfb::Rect& picture, SubRect& out);
};

} // namespace decode
