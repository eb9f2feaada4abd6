// Reply bodies: the input is raw headers, a NUL byte, then the body as it
// came off the wire (perhaps gzip or deflate data). A decoded body never
// exceeds the limit, and a refused one is left as it came.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "appliance/cgi/ReplyBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t split = input.find('\0');
    std::string headers = input.substr(0, split);
    std::string body = split == std::string::npos ? std::string() : input.substr(split + 1);
    const std::string received = body;
    constexpr size_t kLimit = 1 << 16;
    ReplyBodyCheck check = CheckReplyBody(headers, body, kLimit);
    if (check == ReplyBodyCheck::Ok && body.size() > kLimit)
        abort();
    if (check != ReplyBodyCheck::Ok && body != received)
        abort();
    std::string value;
    HeaderField(headers, "Content-Encoding", value);
    return 0;
}
