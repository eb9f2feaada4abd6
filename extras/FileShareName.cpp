#include "extras/FileShareName.h"

#include <cctype>
#include <cstring>

namespace fileshare {

namespace {

bool Forbidden(unsigned char c)
{
    return c < 0x20 || c == 0x7F || std::strchr("<>:\"|?*\\/", c) != nullptr;
}

bool ReservedDevice(const std::string& name)
{
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kFixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* d : kFixed)
        if (stem == d)
            return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '0' && stem[3] <= '9';
}

// Back to a UTF-8 character boundary at or below n.
size_t Boundary(const std::string& s, size_t n)
{
    while (n > 0 && n < s.size() && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

void TrimEnd(std::string& s)
{
    while (!s.empty() && (s.back() == '.' || s.back() == ' '))
        s.pop_back();
}

} // namespace

std::string CleanFileName(std::string_view name)
{
    size_t cut = name.find_last_of("\\/");
    if (cut != std::string_view::npos)
        name.remove_prefix(cut + 1);
    std::string out;
    for (unsigned char c : name)
        if (!Forbidden(c))
            out.push_back(static_cast<char>(c));
    // Leading spaces are legal but confusing in a list; drop them too.
    while (!out.empty() && out.front() == ' ')
        out.erase(out.begin());
    TrimEnd(out);
    if (out.size() > kMaxCleanName) {
        size_t dot = out.rfind('.');
        std::string ext = dot != std::string::npos && out.size() - dot <= 16 ? out.substr(dot) : std::string();
        out = out.substr(0, Boundary(out, kMaxCleanName - ext.size())) + ext;
        TrimEnd(out);
    }
    if (out.empty() || out == "." || out == "..")
        return "file";
    if (ReservedDevice(out))
        out = "_" + out;
    return out;
}

} // namespace fileshare
