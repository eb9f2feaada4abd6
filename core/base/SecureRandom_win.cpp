#include "core/base/SecureRandom.h"

#include <climits>
#include <windows.h>
#include <bcrypt.h>

bool SecureRandomBytes(void* buffer, size_t size)
{
    unsigned char* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ULONG chunk = size > ULONG_MAX ? ULONG_MAX : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, p, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
            return false;
        p += chunk;
        size -= chunk;
    }
    return true;
}
