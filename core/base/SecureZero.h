#pragma once
// Overwrites memory with zeros in a way the compiler may not drop as a dead
// store; used for keys and plain text that must not linger.
#include <cstddef>

void SecureZero(void* p, size_t n);

// The contents of a string or buffer that held a secret, zeroed in place.
template <typename Container>
void SecureWipe(Container& c)
{
    if (!c.empty())
        SecureZero(&c[0], c.size() * sizeof(c[0]));
}
