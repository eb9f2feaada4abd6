#include "Technician/decode/Limits.h"

#include "Technician/decode/DecodeError.h"

#include <cstdio>

namespace decode {

size_t ReadCompressedLength(rdr::InStream& in, size_t rawSize, const char* what)
{
    const size_t length = in.readU32();
    if (length > 2 * rawSize + kCompressedSlack) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: compressed length %zu is above the limit for its data", what, length);
        throw DecodeError(text);
    }
    return length;
}

} // namespace decode
