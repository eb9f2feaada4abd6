// Inflates zlib data taken from an underlying stream. The caller announces how
// many compressed bytes belong to the current rectangle (setUnderlying); the
// stream never takes more than that from the underlying stream, and reset()
// consumes what the reader left. The inflate state lives across rectangles,
// as the peer's deflate stream does.
#pragma once

#include "rfb/InStream.h"

#include <memory>

struct z_stream_s;

namespace rdr {

class ZlibInStream : public InStream {
public:
    explicit ZlibInStream(size_t bufSize = 0);
    ~ZlibInStream() override;

    void setUnderlying(InStream* underlying, size_t compressedLength);
    void reset();
    size_t pos() const override;

    // Announced compressed bytes not yet taken from the underlying stream.
    size_t compressedRemaining() const { return m_bytesIn; }

private:
    size_t overrun(size_t itemSize, size_t nItems) override;
    bool inflateStep();

    InStream* m_underlying = nullptr;
    size_t m_bytesIn = 0;
    size_t m_bufSize;
    size_t m_offset = 0;
    std::unique_ptr<uint8_t[]> m_start;
    std::unique_ptr<z_stream_s> m_zs;
};

} // namespace rdr
