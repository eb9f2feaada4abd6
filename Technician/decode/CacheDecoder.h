// Cache (0xFFFF0000) and CacheZip (0xFFFF0007): swap areas of the picture
// with the cache surface, which holds what they showed before their last
// update. Cache names its own rectangle; CacheZip's x field counts the areas,
// which come as a zlib block (uncompressed in one go) of 8-byte x, y, w, h.
// Only as many areas as the block holds are swapped, each clipped to the
// picture; a block that does not uncompress changes nothing.
#pragma once

#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class CacheDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;
};

class CacheZipDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    GrowingBuffer m_compressed{GrowingBuffer::Kind::Decode};
    GrowingBuffer m_areas{GrowingBuffer::Kind::Second};
};

} // namespace decode
