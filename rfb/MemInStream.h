// Input stream over a caller's block of memory (not copied, must outlive the
// stream). Reading past its end throws rdr::EndOfStream, so a decoder fed from
// memory fails exactly as it would on a closed socket.
#pragma once

#include "rfb/InStream.h"

namespace rdr {

class MemInStream : public InStream {
public:
    MemInStream(const void* data, size_t length);

    size_t pos() const override { return static_cast<size_t>(m_ptr - m_start); }
    size_t remaining() const { return static_cast<size_t>(m_end - m_ptr); }

private:
    size_t overrun(size_t itemSize, size_t nItems) override;

    const uint8_t* m_start;
};

} // namespace rdr
