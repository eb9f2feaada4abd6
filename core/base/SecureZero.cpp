#include "core/base/SecureZero.h"

void SecureZero(void* p, size_t n)
{
    volatile unsigned char* b = static_cast<volatile unsigned char*>(p);
    while (n--)
        *b++ = 0;
}
