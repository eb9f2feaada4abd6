// UTF-8 text from the appliance and from files, read as arbitrary bytes: the
// reading stays inside the input, and what it gives encodes to bytes that read
// back the same. Text that needed no replacement character is given back
// byte for byte, so no overlong form, surrogate or out-of-range value is
// ever taken as a character.
#include "core/base/TextConvert.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > INT_MAX)
        return 0;
    const char* text = reinterpret_cast<const char*>(data);
    const std::wstring wide = MultiByteToWideString(text, static_cast<int>(size), kCodePageUtf8);
    const std::string back =
        WideToMultiByteString(wide.data(), static_cast<int>(wide.size()), kCodePageUtf8);
    if (AnsiToWide(back, kCodePageUtf8) != wide)
        std::abort();
    if (wide.find(static_cast<wchar_t>(0xFFFD)) == std::wstring::npos && back != std::string(text, size))
        std::abort();
    return 0;
}
