#pragma once
// A reply's body as its headers describe it: checked against Content-Length
// (a connection cut in the middle must not pass for a whole body) and decoded
// from gzip or deflate, never to more than the caller's limit.
#include <cstddef>
#include <string>

// The value of the first header line called name (case-insensitive), blanks
// around it removed; false when there is none or it is longer than
// kMaxReplyValue.
bool HeaderField(const std::string& headers, const char* name, std::string& value);

enum class ReplyBodyCheck {
    Ok,         // body is whole and decoded
    Cut,        // fewer or more bytes than Content-Length announced
    BadCoding,  // an unknown Content-Encoding, or data that does not decode
    TooLarge,   // decodes to more than the limit
};

// Checks body against the headers and replaces it by its decoded form. On any
// result but Ok the body is left as it was received.
ReplyBodyCheck CheckReplyBody(const std::string& headers, std::string& body, size_t limit);
