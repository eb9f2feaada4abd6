#include "rfb/ZlibInStream.h"

#include "rfb/Exception.h"

#include <zlib.h>

#include <climits>
#include <cstring>

namespace rdr {

namespace {
constexpr size_t kDefaultBufSize = 16384;
const char kInflateFailed[] = "ZlibInStream: inflate failed";
} // namespace

ZlibInStream::ZlibInStream(size_t bufSize)
    : m_bufSize(bufSize ? bufSize : kDefaultBufSize), m_start(new uint8_t[m_bufSize]), m_zs(new z_stream_s())
{
    m_ptr = m_end = m_start.get();
    if (inflateInit(m_zs.get()) != Z_OK)
        throw Exception("ZlibInStream: inflateInit failed");
}

ZlibInStream::~ZlibInStream()
{
    inflateEnd(m_zs.get());
}

void ZlibInStream::setUnderlying(InStream* underlying, size_t compressedLength)
{
    m_underlying = underlying;
    m_bytesIn = compressedLength;
    m_offset += static_cast<size_t>(m_ptr - m_start.get());
    m_ptr = m_end = m_start.get();
}

size_t ZlibInStream::pos() const
{
    return m_offset + static_cast<size_t>(m_ptr - m_start.get());
}

void ZlibInStream::reset()
{
    m_offset += static_cast<size_t>(m_ptr - m_start.get());
    m_ptr = m_end = m_start.get();
    if (!m_underlying)
        return;
    // Inflate and drop the rest of this rectangle: its remaining compressed
    // bytes and whatever output zlib still holds from them.
    for (;;) {
        m_end = m_start.get();
        if (!inflateStep()) {
            if (m_bytesIn > 0)
                throw Exception(kInflateFailed);
            break;
        }
    }
    m_ptr = m_end = m_start.get();
    m_underlying = nullptr;
}

size_t ZlibInStream::overrun(size_t itemSize, size_t nItems)
{
    if (itemSize > m_bufSize)
        throw Exception("ZlibInStream overrun: max itemSize exceeded");
    if (!m_underlying)
        throw Exception("ZlibInStream overrun: no underlying stream");

    const size_t unread = static_cast<size_t>(m_end - m_ptr);
    if (unread && m_ptr != m_start.get())
        std::memmove(m_start.get(), m_ptr, unread);
    m_offset += static_cast<size_t>(m_ptr - m_start.get());
    m_ptr = m_start.get();
    m_end = m_start.get() + unread;

    while (static_cast<size_t>(m_end - m_ptr) < itemSize) {
        // No progress means corrupt data, a finished zlib stream, or a reader
        // that wants more than the rectangle announced.
        if (!inflateStep())
            throw Exception(kInflateFailed);
    }
    const size_t items = static_cast<size_t>(m_end - m_ptr) / itemSize;
    return items < nItems ? items : nItems;
}

// One inflate call into the free part of the window. Compressed input comes
// from the underlying stream only while the rectangle still announces some:
// with none left, zlib may still hand out output it holds, but the underlying
// stream is never asked for bytes that belong to the next message.
// Returns whether any input was consumed or output produced.
bool ZlibInStream::inflateStep()
{
    z_stream_s* zs = m_zs.get();
    uint8_t* const outStart = m_start.get() + (m_end - m_start.get());
    const size_t outFree = m_bufSize - static_cast<size_t>(m_end - m_start.get());
    zs->next_out = outStart;
    zs->avail_out = static_cast<uInt>(outFree < UINT_MAX ? outFree : UINT_MAX);

    static const uint8_t kNoInput = 0;
    const uint8_t* inStart = &kNoInput;
    size_t inAvail = 0;
    if (m_bytesIn > 0) {
        m_underlying->check(1);
        inStart = m_underlying->getptr();
        inAvail = static_cast<size_t>(m_underlying->getend() - inStart);
        if (inAvail > m_bytesIn)
            inAvail = m_bytesIn;
        if (inAvail > UINT_MAX)
            inAvail = UINT_MAX;
    }
    zs->next_in = const_cast<Bytef*>(inStart);
    zs->avail_in = static_cast<uInt>(inAvail);

    const int rc = inflate(zs, Z_SYNC_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        throw Exception(kInflateFailed);

    const size_t consumed = static_cast<size_t>(zs->next_in - inStart);
    const size_t produced = static_cast<size_t>(zs->next_out - outStart);
    if (m_bytesIn > 0) {
        m_bytesIn -= consumed;
        m_underlying->setptr(inStart + consumed);
    }
    m_end = zs->next_out;
    return consumed > 0 || produced > 0;
}

} // namespace rdr
