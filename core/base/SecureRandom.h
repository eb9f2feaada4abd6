#pragma once
// Bytes from the operating system's cryptographic random generator.
#include <cstddef>

// Fills buffer with size random bytes; false when the generator failed.
bool SecureRandomBytes(void* buffer, size_t size);
