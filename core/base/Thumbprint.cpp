#include "core/base/Thumbprint.h"

#include "core/base/HexEncodeMem.h"

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string ThumbprintHex(const uint8_t (&sha1)[kSha1Size])
{
    std::string out;
    HexEncodeMem(sha1, kSha1Size, out);
    return out;
}

bool ParseThumbprint(const std::string& hex, uint8_t (&sha1)[kSha1Size])
{
    if (hex.size() != 2 * kSha1Size)
        return false;
    for (size_t i = 0; i < kSha1Size; ++i) {
        int hi = HexDigit(hex[2 * i]);
        int lo = HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        sha1[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return true;
}

bool SameThumbprint(const std::string& a, const std::string& b)
{
    uint8_t x[kSha1Size], y[kSha1Size];
    if (!ParseThumbprint(a, x) || !ParseThumbprint(b, y))
        return false;
    for (size_t i = 0; i < kSha1Size; ++i)
        if (x[i] != y[i])
            return false;
    return true;
}
