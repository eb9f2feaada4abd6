#include "rfb/MemOutStream.h"

#include "rfb/Exception.h"

#include <cstring>

namespace rdr {

MemOutStream::MemOutStream(size_t initialSize)
    : m_start(new uint8_t[initialSize ? initialSize : 1])
{
    m_ptr = m_start.get();
    m_end = m_ptr + (initialSize ? initialSize : 1);
}

void MemOutStream::writeBytes(const void* data, size_t length)
{
    if (length == 0)
        return;
    check(length, 1);
    std::memcpy(m_ptr, data, length);
    m_ptr += length;
}

size_t MemOutStream::overrun(size_t itemSize, size_t nItems)
{
    const size_t used = length();
    if (nItems > (kMaxSize - used) / itemSize)
        throw Exception("MemOutStream overrun: buffer too large");
    size_t newSize = used + itemSize * nItems;
    const size_t doubled = capacity() * 2;
    if (newSize < doubled)
        newSize = doubled < kMaxSize ? doubled : kMaxSize;

    std::unique_ptr<uint8_t[]> grown(new uint8_t[newSize]);
    std::memcpy(grown.get(), m_start.get(), used);
    m_start = std::move(grown);
    m_ptr = m_start.get() + used;
    m_end = m_start.get() + newSize;
    return nItems;
}

} // namespace rdr
