// Deflates everything written into an underlying stream. flush() ends the
// current piece with a sync flush, so the receiver can inflate all of it while
// the zlib stream goes on for the next piece.
#pragma once

#include "rfb/OutStream.h"

#include <memory>

struct z_stream_s;

namespace rdr {

class ZlibOutStream : public OutStream {
public:
    explicit ZlibOutStream(OutStream* underlying = nullptr, size_t bufSize = 0, int compressLevel = -1);
    ~ZlibOutStream() override;

    void setUnderlying(OutStream* underlying) { m_underlying = underlying; }
    void flush() override;
    size_t length() override;

private:
    size_t overrun(size_t itemSize, size_t nItems) override;
    void deflateBuffer(int flushMode);

    OutStream* m_underlying;
    size_t m_bufSize;
    size_t m_offset = 0;
    std::unique_ptr<uint8_t[]> m_start;
    std::unique_ptr<z_stream_s> m_zs;
};

} // namespace rdr
