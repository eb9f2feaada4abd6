#include "rfb/MemInStream.h"

#include "rfb/Exception.h"

namespace rdr {

MemInStream::MemInStream(const void* data, size_t length)
    : m_start(static_cast<const uint8_t*>(data))
{
    m_ptr = m_start;
    m_end = m_start + length;
}

size_t MemInStream::overrun(size_t itemSize, size_t nItems)
{
    const size_t items = remaining() / itemSize;
    if (items == 0)
        throw EndOfStream();
    return items < nItems ? items : nItems;
}

} // namespace rdr
