// An ExactReader over bytes in memory, for the viewer-message test and fuzz
// target: a read that asks for more than is left fails and takes nothing.
#pragma once

#include "Customer/session/ViewerMessages.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

class MemoryReader : public ExactReader {
public:
    MemoryReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool ReadExact(void* buffer, size_t n) override
    {
        if (m_size - m_pos < n)
            return false;
        if (n)
            std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};
