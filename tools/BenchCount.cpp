#include "tools/BenchCount.h"

#include <cwchar>

bool ReadBenchCount(const wchar_t* text, long most, int& out)
{
    wchar_t* end = nullptr;
    const long v = std::wcstol(text, &end, 10);
    if (end == text || *end || v < 1 || v > most)
        return false;
    out = static_cast<int>(v);
    return true;
}
