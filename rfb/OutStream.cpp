#include "rfb/OutStream.h"

#include <cstring>

namespace rdr {

void OutStream::writeBytes(const void* data, size_t length)
{
    const uint8_t* in = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const size_t n = check(1, length);
        std::memcpy(m_ptr, in, n);
        m_ptr += n;
        in += n;
        length -= n;
    }
}

} // namespace rdr
