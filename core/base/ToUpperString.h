#pragma once
// Upper-case copy of a narrow string, as profile keys are compared.
#include <string>

// Upper-cases byte by byte with the C library (ASCII letters in the C locale);
// other bytes, UTF-8 sequences included, stay as they are.
std::string ToUpperString(std::string text);
