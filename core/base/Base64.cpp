#include "core/base/Base64.h"

#include <cstdint>
#include <cstring>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool EndsData(char c)
{
    return c == '\0' || c == '\r' || c == '\n';
}

} // namespace

std::string Base64Encode(const char* input, std::string& out)
{
    out.clear();
    if (!input)
        return out;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(input);
    const size_t n = std::strlen(input);
    out.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const uint32_t v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (n - i == 1) {
        const uint32_t v = in[i] << 16;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (n - i == 2) {
        const uint32_t v = (in[i] << 16) | (in[i + 1] << 8);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

bool TryBase64Decode(const char* text, std::string& out)
{
    out.clear();
    if (!text)
        return true;
    std::string bytes;
    uint32_t group = 0;
    size_t count = 0;
    const char* p = text;
    for (; !EndsData(*p) && *p != '='; ++p) {
        const int v = SextetOf(*p);
        if (v < 0)
            return false;
        group = (group << 6) | static_cast<uint32_t>(v);
        if (++count % 4 == 0) {
            bytes += static_cast<char>(group >> 16);
            bytes += static_cast<char>(group >> 8);
            bytes += static_cast<char>(group);
            group = 0;
        }
    }
    const size_t tail = count % 4;
    // A lone character carries 6 bits, not a byte: the data was cut.
    if (tail == 1)
        return false;
    if (*p == '=') {
        size_t pads = 0;
        while (*p == '=') {
            ++pads;
            ++p;
        }
        if (tail == 0 || tail + pads != 4 || !EndsData(*p))
            return false;
    }
    if (tail == 2) {
        bytes += static_cast<char>(group >> 4);
    } else if (tail == 3) {
        bytes += static_cast<char>(group >> 10);
        bytes += static_cast<char>(group >> 2);
    }
    // The result is text: it ends at the first zero byte.
    out.assign(bytes.c_str());
    return true;
}

std::string Base64Decode(const char* text, std::string& out)
{
    TryBase64Decode(text, out);
    return out;
}
