#include "core/base/HexEncodeMem.h"

void HexEncodeMem(const s_mem& buffer, std::string& out)
{
    static const char kDigits[] = "0123456789abcdef";
    const uint8_t* bytes = buffer.Data();
    out.reserve(out.size() + 2 * static_cast<size_t>(buffer.Length()));
    for (uint32_t i = 0; i < buffer.Length(); ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
}
