// Outside Windows the only code page is UTF-8 (the ANSI code page included),
// and wchar_t holds UTF-32. Invalid sequences are replaced the way Windows'
// converters do: each maximal invalid subpart becomes one U+FFFD.
#include "core/base/TextCodec.h"

#include "core/base/TextConvert.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsUtf8(unsigned codePage)
{
    return codePage == kCodePageUtf8 || codePage == kCodePageAnsi;
}

} // namespace

std::wstring DecodeCodePage(const char* text, size_t len, unsigned codePage)
{
    if (!IsUtf8(codePage))
        return {};
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    std::wstring out;
    out.reserve(len);
    size_t i = 0;
    while (i < len) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        // Lead byte: the number of continuation bytes and the range allowed
        // for the first of them (which rules out overlong forms, surrogates and
        // values above U+10FFFF).
        int need;
        unsigned char lo = 0x80, hi = 0xBF;
        char32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            out += static_cast<wchar_t>(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= len || s[j] < lo || s[j] > hi) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (s[j] & 0x3F);
            lo = 0x80;
            hi = 0xBF;
        }
        out += static_cast<wchar_t>(ok ? cp : kReplacement);
        i = j;
    }
    return out;
}

std::string EncodeCodePage(const wchar_t* text, size_t len, unsigned codePage)
{
    if (!IsUtf8(codePage))
        return {};
    std::string out;
    out.reserve(len);
    for (size_t i = 0; i < len; ++i) {
        uint32_t cp = static_cast<uint32_t>(text[i]);
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            cp = kReplacement;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}
