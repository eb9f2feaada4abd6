// The messages a viewer sends, read whole from an exact reader. Every read
// either yields one complete message or a reason to end the session: the
// stream cannot be resynchronised after a short read, an unknown type or a
// length above its limit, so no partial message is ever acted upon.
#pragma once

#include "rfb/PixelFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where viewer bytes come from: true once all n bytes were read.
class ExactReader {
public:
    virtual ~ExactReader() = default;
    virtual bool ReadExact(void* buffer, size_t n) = 0;
};

struct ViewerMessage {
    uint8_t type = 0;
    // SetPixelFormat
    rfb::PixelFormat format;
    bool grey = false;
    // SetEncodings
    std::vector<int32_t> encodings;
    // FramebufferUpdateRequest (x, y, w, h), rfbSetSW and PointerEvent (x, y)
    bool incremental = false;
    int x = 0, y = 0, w = 0, h = 0;
    // KeyEvent
    bool down = false;
    uint32_t keysym = 0;
    // PointerEvent
    uint8_t buttonMask = 0;
    // ClientCutText
    std::string text;
    // Set scale, blank screen (on), start request (token)
    uint8_t value = 0;
};

enum class ReadStatus {
    Ok,
    ReadFailed,   // the connection failed or closed
    UnknownType,  // logged as "unknown message type.[%d]\n"
    TooLong,      // a length above its limit
};

class ViewerMessageReader {
public:
    // Longest clipboard text accepted from a viewer.
    static constexpr uint32_t kMaxCutText = 4u << 20;

    explicit ViewerMessageReader(ExactReader& in) : m_in(in) {}

    ReadStatus Read(ViewerMessage& msg);

private:
    ExactReader& m_in;
};

// The 16-byte wire pixel format (RFC 6143) and this protocol's grey flag in
// its first pad byte.
rfb::PixelFormat ParsePixelFormat(const uint8_t bytes[16], bool* grey);
void SerialisePixelFormat(const rfb::PixelFormat& pf, uint8_t bytes[16]);
