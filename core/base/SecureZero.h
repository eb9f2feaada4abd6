#pragma once
// Overwrites memory with zeros in a way the compiler may not drop as a dead
// store; used for keys and plain text that must not linger.
#include <cstddef>

void SecureZero(void* p, size_t n);
