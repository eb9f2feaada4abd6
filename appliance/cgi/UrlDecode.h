#pragma once
// Decoding of percent escapes in an appliance host typed or passed in a link.
#include <string>

// 0-15 for "0"-"9", "A"-"F" and "a"-"f"; 128 for anything else.
int HexDigitValue(char c);

// "+" becomes a blank and "%" with two hex digits (either case) the byte they
// give; a "%" without two digits stays as it is.
std::string UrlDecode(const std::string& text);
