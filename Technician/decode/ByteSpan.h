// Bounded reader over decompressed bytes: every take is checked against what
// is left, and a shortfall makes the reader fail for good (its ok() is
// false), so a parser can stop at the first piece that is not all there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace decode {

class ByteSpan {
public:
    ByteSpan(const uint8_t* data, size_t size) : m_p(data), m_left(size) {}

    bool ok() const { return m_ok; }
    size_t left() const { return m_left; }

    // n bytes, or nullptr (and failed) when fewer are left.
    const uint8_t* take(size_t n)
    {
        if (!m_ok || n > m_left) {
            m_ok = false;
            return nullptr;
        }
        const uint8_t* p = m_p;
        m_p += n;
        m_left -= n;
        return p;
    }
    uint16_t u16()
    {
        const uint8_t* p = take(2);
        return p ? static_cast<uint16_t>(p[0] << 8 | p[1]) : 0;
    }
    uint32_t u32()
    {
        const uint8_t* p = take(4);
        return p ? static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                       static_cast<uint32_t>(p[2]) << 8 | p[3]
                 : 0;
    }

private:
    const uint8_t* m_p;
    size_t m_left;
    bool m_ok = true;
};

} // namespace decode
