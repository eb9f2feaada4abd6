// Buffered input byte stream: a window [m_ptr, m_end) of bytes ready to read.
// The inline readers take bytes from the window; when it holds too few,
// overrun() refills it (or throws) and reports how many whole items now fit.
// Multi-byte integers are big-endian; the opaque readers compose pixel values
// from bytes in wire (least significant first) order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rdr {

class InStream {
public:
    virtual ~InStream() = default;

    // Copies exactly length bytes, refilling as often as needed.
    virtual void readBytes(void* data, size_t length);
    // Bytes consumed since the stream was made.
    virtual size_t pos() const = 0;

    // Makes at least one item of itemSize bytes available; returns how many of
    // the nItems asked for are available now (at least 1).
    size_t check(size_t itemSize, size_t nItems = 1)
    {
        const size_t avail = static_cast<size_t>(m_end - m_ptr);
        if (avail / itemSize < nItems)
            return overrun(itemSize, nItems);
        return nItems;
    }

    uint8_t readU8()
    {
        check(1);
        return *m_ptr++;
    }
    uint16_t readU16()
    {
        check(2);
        const uint16_t v = static_cast<uint16_t>(m_ptr[0] << 8 | m_ptr[1]);
        m_ptr += 2;
        return v;
    }
    uint32_t readU32()
    {
        check(4);
        const uint32_t v = static_cast<uint32_t>(m_ptr[0]) << 24 | static_cast<uint32_t>(m_ptr[1]) << 16 |
                           static_cast<uint32_t>(m_ptr[2]) << 8 | m_ptr[3];
        m_ptr += 4;
        return v;
    }
    int8_t readS8() { return static_cast<int8_t>(readU8()); }
    int16_t readS16() { return static_cast<int16_t>(readU16()); }
    int32_t readS32() { return static_cast<int32_t>(readU32()); }

    uint8_t readOpaque8() { return readU8(); }
    uint16_t readOpaque16()
    {
        check(2);
        const uint16_t v = static_cast<uint16_t>(m_ptr[0] | m_ptr[1] << 8);
        m_ptr += 2;
        return v;
    }
    uint32_t readOpaque32()
    {
        check(4);
        const uint32_t v = m_ptr[0] | static_cast<uint32_t>(m_ptr[1]) << 8 |
                           static_cast<uint32_t>(m_ptr[2]) << 16 | static_cast<uint32_t>(m_ptr[3]) << 24;
        m_ptr += 4;
        return v;
    }
    // Three-byte compressed pixels: A fills the low three bytes, B the high three.
    uint32_t readOpaque24A()
    {
        check(3);
        const uint32_t v = m_ptr[0] | static_cast<uint32_t>(m_ptr[1]) << 8 | static_cast<uint32_t>(m_ptr[2]) << 16;
        m_ptr += 3;
        return v;
    }
    uint32_t readOpaque24B() { return readOpaque24A() << 8; }

    void skip(size_t bytes)
    {
        while (bytes > 0) {
            const size_t n = check(1, bytes);
            m_ptr += n;
            bytes -= n;
        }
    }

    // Direct access to the window, for readers that hand it to a decoder.
    const uint8_t* getptr() const { return m_ptr; }
    const uint8_t* getend() const { return m_end; }
    void setptr(const uint8_t* p) { m_ptr = p; }

protected:
    InStream() = default;
    InStream(const InStream&) = delete;
    InStream& operator=(const InStream&) = delete;

    virtual size_t overrun(size_t itemSize, size_t nItems) = 0;

    const uint8_t* m_ptr = nullptr;
    const uint8_t* m_end = nullptr;
};

} // namespace rdr
