// Output stream into a growing memory buffer (1024 bytes to start; it at
// least doubles when it grows). clear() moves the write position back to the
// start so the buffer is reused for the next rectangle.
#pragma once

#include "rfb/OutStream.h"

#include <memory>

namespace rdr {

class MemOutStream : public OutStream {
public:
    // Largest buffer the stream will grow to; asking for more throws.
    static constexpr size_t kMaxSize = size_t(1) << 30;

    explicit MemOutStream(size_t initialSize = 1024);

    void writeBytes(const void* data, size_t length) override;
    size_t length() override { return static_cast<size_t>(m_ptr - m_start.get()); }

    const uint8_t* data() const { return m_start.get(); }
    size_t capacity() const { return static_cast<size_t>(m_end - m_start.get()); }
    void clear() { m_ptr = m_start.get(); }

private:
    size_t overrun(size_t itemSize, size_t nItems) override;

    std::unique_ptr<uint8_t[]> m_start;
};

} // namespace rdr
