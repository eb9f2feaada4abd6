// zlib (encoding 6) and the XOR encodings XOR_Zlib, XORMultiColor_Zlib and
// XORMonoColor_Zlib: a compressed length and zlib data on the family's one
// session stream, inflating to plain pixels or to a mask and its pixels. The
// inflated bytes must be exactly what the rectangle needs.
#pragma once

#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/Inflater.h"
#include "Technician/decode/MaskedPixels.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class ZlibFamilyDecoder {
public:
    ZlibFamilyDecoder() : m_stream("zlib", Inflater::Wording::ReturnCode) {}

    RectResult decodePlain(rdr::InStream& in, const RectHeader& h, DecodeTarget& t);
    RectResult decodeMasked(rdr::InStream& in, const RectHeader& h, DecodeTarget& t, MaskMode mode);

private:
    // Reads the length and data and inflates them; returns the bytes made.
    size_t readAndInflate(rdr::InStream& in, size_t rawSize, size_t capacity, const DecodeLog& log);

    Inflater m_stream;
    GrowingBuffer m_compressed{GrowingBuffer::Kind::Decode};
    GrowingBuffer m_inflated{GrowingBuffer::Kind::Second};
    std::vector<uint32_t> m_colours;
    MaskedPixels m_masked;
};

// RectDecoder faces of the family, one per encoding, sharing one stream.
class ZlibDecoder : public RectDecoder {
public:
    explicit ZlibDecoder(ZlibFamilyDecoder& family) : m_family(family) {}
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override
    {
        return m_family.decodePlain(in, h, t);
    }

private:
    ZlibFamilyDecoder& m_family;
};

class XorDecoder : public RectDecoder {
public:
    XorDecoder(ZlibFamilyDecoder& family, MaskMode mode) : m_family(family), m_mode(mode) {}
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override
    {
        return m_family.decodeMasked(in, h, t, m_mode);
    }

private:
    ZlibFamilyDecoder& m_family;
    MaskMode m_mode;
};

} // namespace decode
