#include "rfb/ZlibOutStream.h"

#include "rfb/Exception.h"

#include <zlib.h>

#include <climits>

namespace rdr {

namespace {
constexpr size_t kDefaultBufSize = 16384;
}

ZlibOutStream::ZlibOutStream(OutStream* underlying, size_t bufSize, int compressLevel)
    : m_underlying(underlying), m_bufSize(bufSize ? bufSize : kDefaultBufSize), m_start(new uint8_t[m_bufSize]),
      m_zs(new z_stream_s())
{
    m_ptr = m_start.get();
    m_end = m_start.get() + m_bufSize;
    if (deflateInit(m_zs.get(), compressLevel) != Z_OK)
        throw Exception("ZlibOutStream: deflateInit failed");
}

ZlibOutStream::~ZlibOutStream()
{
    deflateEnd(m_zs.get());
}

size_t ZlibOutStream::length()
{
    return m_offset + static_cast<size_t>(m_ptr - m_start.get());
}

// Feeds the buffered bytes to deflate, writing its output into the underlying
// stream until deflate has taken all input and has no more output to give.
void ZlibOutStream::deflateBuffer(int flushMode)
{
    if (!m_underlying)
        throw Exception("ZlibOutStream: no underlying stream");
    z_stream_s* zs = m_zs.get();
    zs->next_in = m_start.get();
    zs->avail_in = static_cast<uInt>(m_ptr - m_start.get());
    do {
        m_underlying->check(1);
        uint8_t* out = m_underlying->getptr();
        const size_t room = static_cast<size_t>(m_underlying->getend() - out);
        zs->next_out = out;
        zs->avail_out = static_cast<uInt>(room < UINT_MAX ? room : UINT_MAX);
        const int rc = deflate(zs, flushMode);
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            throw Exception("ZlibOutStream: deflate failed");
        m_underlying->setptr(zs->next_out);
    } while (zs->avail_in > 0 || zs->avail_out == 0);
}

void ZlibOutStream::flush()
{
    deflateBuffer(Z_SYNC_FLUSH);
    m_offset += static_cast<size_t>(m_ptr - m_start.get());
    m_ptr = m_start.get();
}

size_t ZlibOutStream::overrun(size_t itemSize, size_t nItems)
{
    if (itemSize > m_bufSize)
        throw Exception("ZlibOutStream overrun: max itemSize exceeded");

    // deflateBuffer leaves no input behind, so one pass empties the buffer.
    deflateBuffer(Z_NO_FLUSH);
    m_offset += static_cast<size_t>(m_ptr - m_start.get());
    m_ptr = m_start.get();

    const size_t items = static_cast<size_t>(m_end - m_ptr) / itemSize;
    return items < nItems ? items : nItems;
}

} // namespace rdr
