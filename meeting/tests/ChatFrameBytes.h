// A bare downstream chat frame as the chat channel carries it: type 8, a
// zero byte, the big-endian n (both ids and the text), the sender's and the
// recipient's lengths, then both ids and the text. Ids of 128 bytes or more
// make the frames a receiver must drop.
#pragma once

#include <string>

inline std::string ChatFrameBytes(const std::string& from, const std::string& to, const std::string& text)
{
    const size_t n = from.size() + to.size() + text.size();
    std::string out{char(8), char(0), char(n >> 8), char(n & 0xFF), char(from.size()), char(to.size())};
    return out + from + to + text;
}
