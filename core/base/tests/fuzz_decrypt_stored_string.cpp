// DecryptStoredString on arbitrary stored values: it either refuses them or
// yields 32 bytes fewer plus one, ending in a zero byte.
#include "core/base/StoredSecret.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    s_mem secret;
    secret.Assign(data, size);
    s_mem plain;
    if (DecryptStoredString(plain, secret)) {
        if (size < 48 || plain.Length() != size - 32 + 1 || plain.Data()[plain.Length() - 1] != 0)
            std::abort();
    }
    return 0;
}
