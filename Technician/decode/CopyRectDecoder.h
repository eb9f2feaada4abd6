// CopyRect (encoding 1): the rectangle shows what the area at a source point
// shows now. A copy that does not lie wholly inside the picture is ignored.
#pragma once

#include "Technician/decode/RectDecoder.h"

namespace decode {

class CopyRectDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;
};

} // namespace decode
