#include "appliance/cgi/ReplyBody.h"

#include <zlib.h>

#include <cctype>

#include "appliance/cgi/ReplyText.h"

namespace {

bool SameName(const std::string& text, size_t at, size_t length, const char* name) {
    size_t i = 0;
    for (; i < length && name[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) !=
            std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    return i == length && name[i] == '\0';
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

enum class Coding { Identity, Gzip, Deflate, Unknown };

Coding CodingOf(const std::string& headers) {
    std::string value;
    if (!HeaderField(headers, "Content-Encoding", value)) return Coding::Identity;
    std::string lower;
    for (char c : value) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.empty() || lower == "identity") return Coding::Identity;
    if (lower == "gzip" || lower == "x-gzip") return Coding::Gzip;
    if (lower == "deflate") return Coding::Deflate;
    return Coding::Unknown;
}

// "deflate" is meant to be a zlib stream; some servers send the bare deflate
// data, which a zlib header check tells apart.
bool HasZlibHeader(const std::string& data) {
    if (data.size() < 2) return false;
    const unsigned b0 = static_cast<unsigned char>(data[0]), b1 = static_cast<unsigned char>(data[1]);
    return (b0 & 0x0F) == Z_DEFLATED && ((b0 << 8) | b1) % 31 == 0;
}

ReplyBodyCheck Inflate(const std::string& in, int windowBits, size_t limit, std::string& out) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return ReplyBodyCheck::BadCoding;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    ReplyBodyCheck result = ReplyBodyCheck::BadCoding;
    unsigned char buffer[16384];
    for (;;) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        const size_t produced = sizeof buffer - z.avail_out;
        if (produced > limit - out.size()) {
            result = ReplyBodyCheck::TooLarge;
            break;
        }
        out.append(reinterpret_cast<const char*>(buffer), produced);
        if (rc == Z_STREAM_END) {
            result = ReplyBodyCheck::Ok;
            break;
        }
        if (produced == 0 && z.avail_in == 0) break;  // the stream ends early
    }
    inflateEnd(&z);
    return result;
}

}  // namespace

bool HeaderField(const std::string& headers, const char* name, std::string& value) {
    size_t line = headers.find("\r\n");  // the status line is no field
    while (line != std::string::npos) {
        line += 2;
        size_t end = headers.find("\r\n", line);
        if (end == std::string::npos) end = headers.size();
        const size_t colon = headers.find(':', line);
        if (colon != std::string::npos && colon < end && SameName(headers, line, colon - line, name)) {
            size_t start = colon + 1, stop = end;
            while (start < stop && IsBlank(headers[start])) ++start;
            while (stop > start && IsBlank(headers[stop - 1])) --stop;
            if (stop - start > kMaxReplyValue) return false;
            value.assign(headers, start, stop - start);
            return true;
        }
        line = end < headers.size() ? end : std::string::npos;
    }
    return false;
}

ReplyBodyCheck CheckReplyBody(const std::string& headers, std::string& body, size_t limit) {
    std::string length;
    std::string transfer;
    // A chunked body carries its own framing; the length header is not used.
    if (!HeaderField(headers, "Transfer-Encoding", transfer) &&
        HeaderField(headers, "Content-Length", length)) {
        if (length.empty() || length.size() > 19 ||
            length.find_first_not_of("0123456789") != std::string::npos ||
            std::stoull(length) != body.size())
            return ReplyBodyCheck::Cut;
    }
    std::string decoded;
    ReplyBodyCheck result = ReplyBodyCheck::Ok;
    switch (CodingOf(headers)) {
        case Coding::Identity:
            return body.size() > limit ? ReplyBodyCheck::TooLarge : ReplyBodyCheck::Ok;
        case Coding::Gzip:
            result = Inflate(body, 16 + MAX_WBITS, limit, decoded);
            break;
        case Coding::Deflate:
            result = Inflate(body, HasZlibHeader(body) ? MAX_WBITS : -MAX_WBITS, limit, decoded);
            break;
        case Coding::Unknown:
            return ReplyBodyCheck::BadCoding;
    }
    if (result == ReplyBodyCheck::Ok) body.swap(decoded);
    return result;
}
