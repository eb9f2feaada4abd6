#pragma once
// File-share messages (meeting packet type 29): fixed-width text fields,
// each ending "\r\n", and the one binary message, the data chunk. Building
// and reading only; the reader checks every position against the payload.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fileshare {

enum Command : int {
    kAnnounce = 1,
    kWithdraw = 2,
    kStopSharing = 3,
    kBegin = 4,
    kChunk = 5,
    kComplete = 6,
    kAborted = 7,
    kTransfersActive = 8,
    kTransfersIdle = 9,
    kListRequest = 100,
    kStartDownload = 101,
    kAck = 102,
    kCancel = 103,
};

// The recipient count that means everybody but the sender.
constexpr int kToAll = 9527;
constexpr int kFirstFileId = 2012;
constexpr size_t kChunkData = 7168;
// Fixed header text, data and two spare bytes of a chunk block (plus W).
constexpr size_t kChunkBlock = 7226;
// Sizes and offsets fit a signed 32-bit file position.
constexpr uint64_t kMaxFileSize = 0x7FFFFFFF;
constexpr size_t kMaxRecipients = 9526;

using Bytes = std::vector<uint8_t>;

// The common head of a message. An empty recipient list goes to everybody
// (one line of W '@'); an empty sender leaves the sender flag 0.
struct Head {
    int command = 0;
    std::vector<std::string> recipients;
    std::string sender;
    int fileId = 0;
};

// The head's text; width is W, the length of the own session id now.
std::string HeadText(const Head& head, size_t width);
// A text message: the head, the fields, and the terminating NUL.
Bytes TextMessage(const Head& head, size_t width, std::string_view fields = {});
// "%.24d\r\n" of a size or offset.
std::string NumberField(uint64_t value);
// Announce: size and name (UTF-8) after the head.
Bytes Announce(const Head& head, size_t width, uint64_t size, std::string_view name);
// A chunk to one user: a zero-filled block of width + kChunkBlock bytes
// holding the header text and count bytes of data (count <= kChunkData).
Bytes Chunk(const std::string& user, size_t width, int fileId, uint64_t offset, const uint8_t* data, size_t count);

// What a received message holds; the fields point into the caller's bytes.
struct Parsed {
    int command = 0;
    bool toAll = false;
    std::vector<std::string> recipients;
    std::string sender;
    int fileId = 0;
    const uint8_t* fields = nullptr;
    size_t fieldsLength = 0;  // up to the end of the payload (NUL included)

    bool Names(const std::string& session) const;
};

// False for a message that does not hold together at this width: every
// position is checked against the length, every number must be all digits.
bool Parse(const uint8_t* data, size_t length, size_t width, Parsed& out);

// Command fields. Each is false for a field that is absent, not all digits
// or out of range.
bool ReadNumber(const Parsed& m, uint64_t& value);  // the first 24-digit field, <= kMaxFileSize
struct ChunkFields {
    uint64_t offset = 0;
    const uint8_t* data = nullptr;
    size_t count = 0;
};
bool ReadChunk(const Parsed& m, ChunkFields& out);
struct AnnounceFields {
    uint64_t size = 0;
    std::string name;  // raw from the network: clean before any use
};
bool ReadAnnounce(const Parsed& m, AnnounceFields& out);

} // namespace fileshare
