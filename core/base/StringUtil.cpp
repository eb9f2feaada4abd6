#include "core/base/StringUtil.h"

#include <cctype>

std::string PercentEncode(std::string text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out;
}

std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter)
{
    if (delimiter.empty())
        return {text};
    std::vector<std::string> pieces;
    size_t p = 0;
    for (;;) {
        const size_t found = text.find(delimiter, p);
        if (found == std::string::npos)
            break;
        pieces.push_back(text.substr(p, found - p));
        p = found + delimiter.size();
    }
    // The piece after the last delimiter, empty when the text ends with one.
    pieces.push_back(text.substr(p));
    return pieces;
}

std::string ToLowerString(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::wstring ReplaceFirstPlaceholder(std::wstring text, const std::wstring& value)
{
    size_t at = text.find(L"%s");
    if (at != std::wstring::npos)
        text.replace(at, 2, value);
    return text;
}
