#include "core/base/ToUpperString.h"

#include <cctype>

std::string ToUpperString(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
