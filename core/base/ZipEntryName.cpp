#include "core/base/ZipEntryName.h"

#include <cctype>
#include <vector>

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// "con", "aux.dll", "lpt3.txt": names Windows maps to devices, in any folder.
bool IsDeviceName(std::string_view component)
{
    std::string stem = Lower(component.substr(0, component.find('.')));
    static const char* const kPlain[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* name : kPlain)
        if (stem == name)
            return true;
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

bool IsWritable(std::string_view component)
{
    for (char ch : component) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f)
            return false;
        switch (c) {
        case ':': case '<': case '>': case '"': case '|': case '?': case '*':
            return false;
        default:
            break;
        }
    }
    char last = component.back();
    return last != '.' && last != ' ' && !IsDeviceName(component);
}

} // namespace

std::string SafeEntryPath(std::string_view name, char separator)
{
    if (name.size() >= 2 && name[1] == ':')
        name.remove_prefix(2);
    const bool directory = !name.empty() && IsSeparator(name.back());

    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        std::string_view part = name.substr(start, end - start);
        if (!part.empty() && part != "." && part != "..") {
            if (!IsWritable(part))
                return "";
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (std::string_view part : parts) {
        if (!out.empty())
            out += separator;
        out.append(part.data(), part.size());
    }
    if (directory && !out.empty())
        out += separator;
    return out;
}
