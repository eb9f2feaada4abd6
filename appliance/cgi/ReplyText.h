#pragma once
// Reading the appliance's replies: the raw response headers (CRLF-separated,
// status line first) and the body text. Every value is bounded to its own
// line and to kMaxReplyValue bytes, and never runs past the text it came from.
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kMaxReplyValue = 4096;
// Entries taken from one list reply (meetings, saved meetings, participants,
// domains, portals); the rest is dropped. A reply of bare line ends would
// otherwise cost hundreds of bytes of records for every two bytes received.
constexpr size_t kMaxReplyRecords = 10000;

// True when the status line's code (the digits after its first blank) is code.
bool StatusCodeIs(const std::string& headers, const char* code);

// True when marker occurs anywhere in text (case-sensitive).
bool Contains(const std::string& text, const char* marker);

// The value after the first occurrence of marker: an optional ":" and the
// blanks behind the marker are skipped, the value ends before CR, LF or the end
// of the text, and trailing blanks are dropped. False when the marker is
// missing or the value is longer than kMaxReplyValue.
bool MarkerValue(const std::string& text, const char* marker, std::string& value);

// Like MarkerValue, but only a marker followed by a line end counts.
bool MarkerLine(const std::string& text, const char* marker, std::string& value);

// Like MarkerValue, but the value keeps the carriage return of a CRLF that
// ends its line (a token the appliance wants back exactly as it sent it) and
// its trailing blanks.
bool MarkerValueWithCr(const std::string& text, const char* marker, std::string& value);

// Decimal integer as the C library's atoi reads it (leading blanks, optional
// sign, digits up to the first other character, 0 without digits), clamped to
// the 32-bit range instead of overflowing.
int32_t ParseDecimal(const std::string& text);

// The value of the "swap" cookie in a Set-Cookie header line. The value must
// be ended by ";" on its line and hold at most kMaxSwapCookie characters.
constexpr size_t kMaxSwapCookie = 1024;
bool FindSwapCookie(const std::string& headers, std::string& value);

// True when "serverversion:" is missing, does not read as
// "%d.%d.%d.%d-%dsv", or is below "6.0.0.0-8sv".
bool ServerTooOld(const std::string& headers);

// Every "portal:" value of the body, in order (at most kMaxReplyRecords).
void ReadPortalList(const std::string& body, std::vector<std::string>& portals);
