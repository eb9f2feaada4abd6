#pragma once
// Small text helpers for narrow strings: form-body encoding, splitting and
// lower-casing.
#include <string>
#include <vector>

// Percent-encodes every byte except 0-9, a-z and A-Z as "%XX" (upper-case hex).
std::string PercentEncode(std::string text);

// Splits text at every occurrence of delimiter; empty pieces between adjacent
// delimiters and after a trailing one are kept, so "a-b-" gives a, b and "".
// An empty delimiter cannot split anything: the result is the whole text.
std::vector<std::string> SplitString(const std::string& text, const std::string& delimiter);

// Lower-cases byte by byte with the C library (ASCII letters in the C locale).
std::string ToLowerString(std::string text);
