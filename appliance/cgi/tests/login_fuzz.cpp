// Login replies: the input is raw headers, a NUL byte, then the body.
#include <cstddef>
#include <cstdint>
#include <string>

#include "appliance/cgi/LoginReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string headers = input.substr(0, split);
    std::string body = split == std::string::npos ? std::string() : input.substr(split + 1);
    LoginReply a, b, c;
    ParseDomainQueryReply(headers, body, a);
    ParseUserLoginReply(headers, body, b);
    ParseGuestLoginReply(headers, body, c);
    ParseDomainList(body);
    return 0;
}
