#include "rfb/InStream.h"

#include <cstring>

namespace rdr {

void InStream::readBytes(void* data, size_t length)
{
    uint8_t* out = static_cast<uint8_t*>(data);
    while (length > 0) {
        const size_t n = check(1, length);
        std::memcpy(out, m_ptr, n);
        m_ptr += n;
        out += n;
        length -= n;
    }
}

} // namespace rdr
