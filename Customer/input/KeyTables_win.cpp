#include "Customer/input/KeyTables.h"

#include <windows.h>

namespace {

// What each byte of the OEM code page is as a character.
CodePageTable ReadOemCodePage()
{
    std::array<uint16_t, 256> unicode{};
    for (int i = 0; i < 256; ++i) {
        const char byte = static_cast<char>(i);
        wchar_t ch = 0;
        if (MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, &byte, 1, &ch, 1) == 1)
            unicode[static_cast<size_t>(i)] = static_cast<uint16_t>(ch);
    }
    return BuildCodePageTable(unicode);
}

} // namespace

const CodePageTable& HostCodePageTable()
{
    static const CodePageTable table = ReadOemCodePage();
    return table;
}

void BuildDeadKeyTable()
{
    KeysymTable();
    HostCodePageTable();
}
