#pragma once
// Small text helpers: form-body encoding, splitting, lower-casing and the
// filling of a string-table text's placeholder.
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

// text with its first "%s" replaced by value (unchanged when it has none): the
// string-table texts that name one thing are filled without a format call, so
// a stray conversion in a translated text cannot read past the arguments.
std::wstring ReplaceFirstPlaceholder(std::wstring text, const std::wstring& value);
