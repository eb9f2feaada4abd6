// Base64Decode on arbitrary text; whatever decodes must re-encode to input that
// decodes to the same text, and encoding any text must decode back to it.
#include "core/base/Base64.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string decoded;
    if (TryBase64Decode(text.c_str(), decoded)) {
        std::string encoded, again;
        Base64Encode(decoded.c_str(), encoded);
        if (!TryBase64Decode(encoded.c_str(), again) || again != decoded)
            std::abort();
    }
    std::string encoded, back;
    Base64Encode(text.c_str(), encoded);
    if (!TryBase64Decode(encoded.c_str(), back) || back != std::string(text.c_str()))
        std::abort();
    return 0;
}
