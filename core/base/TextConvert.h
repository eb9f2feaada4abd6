#pragma once
// Conversions between narrow text in a code page and wide text. The program
// uses two code pages: kCodePageUtf8 for everything on the wire and in files,
// and kCodePageAnsi (the system ANSI code page) for file names, registry
// strings and ANSI window texts. Invalid input bytes become U+FFFD, as Windows
// does; a code page the system cannot convert with gives an empty result.
//
// wchar_t text is UTF-16 on Windows and UTF-32 elsewhere. Outside Windows the
// ANSI code page is UTF-8 and no other code page is available.
#include <string>

constexpr unsigned kCodePageAnsi = 0;
constexpr unsigned kCodePageUtf8 = 65001;

// len is in bytes (or characters), or -1 for zero-terminated text; a null text
// or another negative length gives an empty result.
std::wstring MultiByteToWideString(const char* text, int len, unsigned codePage);
std::string WideToMultiByteString(const wchar_t* text, int len, unsigned codePage);

std::wstring AnsiToWide(const std::string& text, unsigned codePage);
std::string WideToAnsi(const std::wstring& text, unsigned codePage);

// Converts zero-terminated ANSI text into a new zero-terminated wide buffer that
// the caller releases with free(). Returns 1 with the buffer in *out, or 0 (and
// *out untouched) for null or empty text or when nothing could be converted.
int AnsiToWideAlloc(const char* text, wchar_t** out);
