#pragma once
// Base64 with the standard alphabet (RFC 4648) for cookies, proxy credentials
// and link fields. Both directions work on text: the input ends at its first
// zero byte, and decoded bytes are cut at the first zero byte among them.
#include <string>

// Encodes input up to its first zero byte, with "=" padding and no line
// breaks; out receives the result, which is also returned.
std::string Base64Encode(const char* input, std::string& out);

// Decodes text up to the first zero byte, line break or padding; whatever
// follows a line break is ignored, and missing padding is accepted. Returns
// false (out cleared) when the data holds a character outside the alphabet,
// ends with a single character of a group, has padding that does not complete
// its group, or has anything but a line break or the end after the padding.
bool TryBase64Decode(const char* text, std::string& out);

// The same, for callers that only want the text: malformed Base64 gives an
// empty string. out receives the result, which is also returned.
std::string Base64Decode(const char* text, std::string& out);
