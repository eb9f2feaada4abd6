#pragma once
// The platform side of the code-page conversions (TextConvert_win.cpp uses the
// system's converters; TextConvert_posix.cpp has UTF-8 only). Lengths are
// exact counts; embedded zeros are converted like any other character.
#include <cstddef>
#include <string>

std::wstring DecodeCodePage(const char* text, size_t len, unsigned codePage);
std::string EncodeCodePage(const wchar_t* text, size_t len, unsigned codePage);
