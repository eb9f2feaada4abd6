// Tight (encoding 7): a compression-control byte, then a fill, a JPEG image
// or basic data (copy, palette or gradient filter) that comes plain when
// under 12 bytes and otherwise zlib-compressed on one of four session
// streams. Compressed data must inflate to exactly the rectangle's rows. A
// JPEG that does not decode is abandoned (all its bytes are read and no
// session stream is touched); every other fault ends the session.
#pragma once

#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/Inflater.h"
#include "Technician/decode/JpegImage.h"
#include "Technician/decode/RectDecoder.h"
#include "Technician/decode/TightFilters.h"

namespace decode {

class TightDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

    // The 1-3 byte length: 7 bits a byte, low first, the top bit of the first
    // two saying another byte follows; the third gives 8 bits.
    static size_t ReadCompactLength(rdr::InStream& in);

private:
    enum class Filter { Copy, Palette, Gradient };

    RectResult decodeJpeg(rdr::InStream& in, const RectHeader& h, DecodeTarget& t);
    void decodeBasic(rdr::InStream& in, const RectHeader& h, DecodeTarget& t, const TightPixels& px, uint8_t mode);
    Filter readFilter(rdr::InStream& in, uint8_t mode, const TightPixels& px, const DecodeLog& log);

    Inflater m_streams[4] = {Inflater("Tight stream 0", Inflater::Wording::Message),
                             Inflater("Tight stream 1", Inflater::Wording::Message),
                             Inflater("Tight stream 2", Inflater::Wording::Message),
                             Inflater("Tight stream 3", Inflater::Wording::Message)};
    JpegImage m_jpeg;
    TightGradient m_gradient;
    std::vector<uint32_t> m_palette;
    GrowingBuffer m_compressed{GrowingBuffer::Kind::Decode};
    GrowingBuffer m_data{GrowingBuffer::Kind::Second};
    std::vector<uint32_t> m_colours;
};

} // namespace decode
