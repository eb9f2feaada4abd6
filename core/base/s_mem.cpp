#include "core/base/s_mem.h"

#include "core/base/SecureZero.h"

#include <cstdlib>
#include <cstring>

s_mem::s_mem() : m_inline{}, m_data(m_inline), m_capacity(kInlineSize), m_length(0) {}

s_mem::s_mem(const s_mem& other) : s_mem()
{
    Append(other.m_data, other.m_length);
}

s_mem::s_mem(s_mem&& other) noexcept : s_mem()
{
    TakeFrom(other);
}

s_mem& s_mem::operator=(const s_mem& other)
{
    if (this != &other)
        Assign(other.m_data, other.m_length);
    return *this;
}

s_mem& s_mem::operator=(s_mem&& other) noexcept
{
    if (this != &other) {
        Clear();
        TakeFrom(other);
    }
    return *this;
}

s_mem::~s_mem()
{
    Clear();
}

// Expects this buffer to be empty and inline. A heap block changes owner; inline
// bytes are copied, since each object points at its own inline store.
void s_mem::TakeFrom(s_mem& other) noexcept
{
    if (other.UsesHeap()) {
        m_data = other.m_data;
        m_capacity = other.m_capacity;
        m_length = other.m_length;
        other.m_data = other.m_inline;
        other.m_capacity = kInlineSize;
        other.m_length = 0;
    } else {
        std::memcpy(m_inline, other.m_inline, other.m_length);
        m_length = other.m_length;
        other.Clear();
    }
}

s_mem& s_mem::WriteAt(size_t pos, const void* data, size_t len)
{
    if (pos > m_length || !data || len == 0 || len > UINT32_MAX - pos)
        return *this;
    const uint64_t end = pos + len;
    if (end <= m_capacity) {
        std::memmove(m_data + pos, data, len);
        m_length = static_cast<uint32_t>(end);
        return *this;
    }
    // The next multiple of 256 strictly above end, computed wide so that it
    // cannot wrap near 4 GiB.
    const uint64_t capacity = ((end >> 8) + 1) << 8;
    if (capacity > UINT32_MAX)
        return *this;
    uint8_t* store = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(capacity)));
    if (!store)
        return *this;
    std::memcpy(store, m_data, pos);
    // Copied before the old store goes, since data may point into it.
    std::memcpy(store + pos, data, len);
    if (UsesHeap()) {
        SecureZero(m_data, m_length);
        std::free(m_data);
    }
    m_data = store;
    m_capacity = static_cast<uint32_t>(capacity);
    m_length = static_cast<uint32_t>(end);
    return *this;
}

s_mem& s_mem::Append(const void* data, size_t len)
{
    return WriteAt(m_length, data, len);
}

s_mem& s_mem::Assign(const void* data, size_t len)
{
    const uint8_t* src = static_cast<const uint8_t*>(data);
    if (src && src >= m_data && src < m_data + m_capacity) {
        // A part of our own bytes: Clear would release them before the copy.
        if (len > static_cast<size_t>(m_data + m_capacity - src))
            return *this;
        std::memmove(m_data, src, len);
        SecureZero(m_data + len, m_length > len ? m_length - len : 0);
        m_length = static_cast<uint32_t>(len);
        return *this;
    }
    Clear();
    return Append(data, len);
}

void s_mem::Clear()
{
    SecureZero(m_data, m_length);
    if (UsesHeap())
        std::free(m_data);
    std::memset(m_inline, 0, sizeof m_inline);
    m_data = m_inline;
    m_capacity = kInlineSize;
    m_length = 0;
}

bool s_mem::IsEmpty() const
{
    return m_length == 0;
}
