#include "Technician/decode/GrowingBuffer.h"

#include <algorithm>
#include <climits>

namespace decode {

namespace {

constexpr size_t kSpare = 256;

} // namespace

uint8_t* GrowingBuffer::reserve(size_t n, const DecodeLog& log)
{
    if (m_bytes.size() > n)
        return m_bytes.data();
    // The old buffer goes first, so the two are never held together.
    std::vector<uint8_t>().swap(m_bytes);
    m_bytes.resize(n + kSpare);
    const int size = static_cast<int>(std::min<size_t>(m_bytes.size(), INT_MAX));
    switch (m_kind) {
    case Kind::Decode:
        log.write(LogLevel::DebugInfo, "bufsize expanded to %d\n", size);
        break;
    case Kind::Second:
        log.write(LogLevel::DebugInfo, "zlibbufsize expanded to %d\n", size);
        break;
    case Kind::Zip:
        log.write(LogLevel::DebugInfo, "zipbufsize expanded to %d\n", size);
        break;
    }
    return m_bytes.data();
}

} // namespace decode
