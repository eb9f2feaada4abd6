#include "core/base/HexEncodeMem.h"

void HexEncodeMem(const uint8_t* data, size_t size, std::string& out)
{
    static const char kDigits[] = "0123456789abcdef";
    out.reserve(out.size() + 2 * size);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 0x0F]);
    }
}

void HexEncodeMem(const s_mem& buffer, std::string& out)
{
    HexEncodeMem(buffer.Data(), buffer.Length(), out);
}
