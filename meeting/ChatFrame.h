#pragma once
// Chat frames: the upstream meeting packet (type 8) and the downstream
// stream of bare frames on the chat channel. A frame is type 8, a zero byte,
// a big-endian length n, the sender's and recipient's lengths, the sender's
// and recipient's session ids and the UTF-8 text (n = both ids + text).
#include "core/control/ControlPacket.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Session ids travel in fields read into 128-byte buffers: 127 at most.
constexpr size_t kChatMaxIdBytes = 127;
// A received text is held in 1023 UTF-16 units at most.
constexpr size_t kChatMaxTextUnits = 1023;
constexpr char kChatEverybody[] = "ALL";

// The whole packet (header, ids, text); empty when an id is empty or longer
// than kChatMaxIdBytes, or the frame would not fit the packet's length field.
ControlPacket BuildChatPacket(std::string_view from, std::string_view to, std::string_view text);

// The longest prefix of UTF-8 text that converts to at most maxUnits UTF-16
// units and ends on a character boundary (an invalid byte counts as one
// unit, as it becomes U+FFFD).
std::string_view CutUtf8ToUnits(std::string_view text, size_t maxUnits);

struct ChatFrame {
    std::string from;
    std::string to;
    std::string text;  // UTF-8, cut to kChatMaxTextUnits
    bool textCut = false;
};

// Splits the chat channel's bytes into frames, whatever pieces they arrive
// in. Type 0 bytes between frames are skipped; any other type but 8 ends the
// stream for good (nothing after it is read). Every announced length is read
// whole, so a bad frame is dropped without putting the stream out of step.
class ChatFrameReader {
public:
    enum class Event { Frame, Dropped };
    class Sink {
    public:
        virtual ~Sink() = default;
        // Dropped: frame is empty and why names the reason.
        virtual void OnChatFrame(Event event, const ChatFrame& frame, const char* why) = 0;
    };

    // The bytes consumed; fewer than length only once the stream has ended.
    size_t Feed(const uint8_t* data, size_t length, Sink& sink);
    bool Ended() const { return m_ended; }

private:
    void Finish(Sink& sink);

    enum class State { Type, Header, Body };
    State m_state = State::Type;
    uint8_t m_header[5] = {};
    size_t m_headerHeld = 0;
    size_t m_need = 0;
    std::vector<uint8_t> m_body;
    bool m_ended = false;
};
