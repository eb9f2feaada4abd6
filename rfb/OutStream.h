// Buffered output byte stream: a window [m_ptr, m_end) of free space. The
// inline writers fill it; when it is too small, overrun() drains or grows the
// buffer and reports how many whole items now fit. Integers are written
// big-endian; the opaque writers put pixel bytes least significant first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rdr {

class OutStream {
public:
    virtual ~OutStream() = default;

    virtual void writeBytes(const void* data, size_t length);
    // Bytes written since the stream was made (or last cleared).
    virtual size_t length() = 0;
    virtual void flush() {}

    size_t check(size_t itemSize, size_t nItems = 1)
    {
        const size_t avail = static_cast<size_t>(m_end - m_ptr);
        if (avail / itemSize < nItems)
            return overrun(itemSize, nItems);
        return nItems;
    }

    void writeU8(uint8_t v)
    {
        check(1);
        *m_ptr++ = v;
    }
    void writeU16(uint16_t v)
    {
        check(2);
        m_ptr[0] = static_cast<uint8_t>(v >> 8);
        m_ptr[1] = static_cast<uint8_t>(v);
        m_ptr += 2;
    }
    void writeU32(uint32_t v)
    {
        check(4);
        m_ptr[0] = static_cast<uint8_t>(v >> 24);
        m_ptr[1] = static_cast<uint8_t>(v >> 16);
        m_ptr[2] = static_cast<uint8_t>(v >> 8);
        m_ptr[3] = static_cast<uint8_t>(v);
        m_ptr += 4;
    }
    void writeS8(int8_t v) { writeU8(static_cast<uint8_t>(v)); }
    void writeS16(int16_t v) { writeU16(static_cast<uint16_t>(v)); }
    void writeS32(int32_t v) { writeU32(static_cast<uint32_t>(v)); }

    void writeOpaque8(uint8_t v) { writeU8(v); }
    void writeOpaque16(uint16_t v)
    {
        check(2);
        m_ptr[0] = static_cast<uint8_t>(v);
        m_ptr[1] = static_cast<uint8_t>(v >> 8);
        m_ptr += 2;
    }
    void writeOpaque32(uint32_t v)
    {
        check(4);
        m_ptr[0] = static_cast<uint8_t>(v);
        m_ptr[1] = static_cast<uint8_t>(v >> 8);
        m_ptr[2] = static_cast<uint8_t>(v >> 16);
        m_ptr[3] = static_cast<uint8_t>(v >> 24);
        m_ptr += 4;
    }
    // Three-byte compressed pixels: A writes the low three bytes, B the high three.
    void writeOpaque24A(uint32_t v)
    {
        check(3);
        m_ptr[0] = static_cast<uint8_t>(v);
        m_ptr[1] = static_cast<uint8_t>(v >> 8);
        m_ptr[2] = static_cast<uint8_t>(v >> 16);
        m_ptr += 3;
    }
    void writeOpaque24B(uint32_t v) { writeOpaque24A(v >> 8); }

    void pad(size_t bytes)
    {
        while (bytes-- > 0)
            writeU8(0);
    }

    // Direct access to the free window, for writers such as a compressor.
    uint8_t* getptr() { return m_ptr; }
    uint8_t* getend() { return m_end; }
    void setptr(uint8_t* p) { m_ptr = p; }

protected:
    OutStream() = default;
    OutStream(const OutStream&) = delete;
    OutStream& operator=(const OutStream&) = delete;

    virtual size_t overrun(size_t itemSize, size_t nItems) = 0;

    uint8_t* m_ptr = nullptr;
    uint8_t* m_end = nullptr;
};

} // namespace rdr
