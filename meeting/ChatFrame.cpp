#include "meeting/ChatFrame.h"

#include <algorithm>

ControlPacket BuildChatPacket(std::string_view from, std::string_view to, std::string_view text)
{
    if (from.empty() || to.empty() || from.size() > kChatMaxIdBytes || to.size() > kChatMaxIdBytes)
        return {};
    const size_t n = from.size() + to.size() + text.size();
    // The packet's payload is the frame: n and its own six header bytes.
    if (n + 6 > 0xFFFF)
        return {};
    ControlPacket out;
    out.reserve(kControlPacketHeaderSize + 6 + n);
    ControlPacketHeader header{PLP_CHAT, static_cast<uint16_t>(n + 6)};
    out.resize(kControlPacketHeaderSize);
    header.Encode(out.data());
    out.push_back(PLP_CHAT);
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(n & 0xFF));
    out.push_back(static_cast<uint8_t>(from.size()));
    out.push_back(static_cast<uint8_t>(to.size()));
    out.insert(out.end(), from.begin(), from.end());
    out.insert(out.end(), to.begin(), to.end());
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

namespace {

// Length of the UTF-8 sequence starting at text[i] and its UTF-16 units; an
// invalid or cut sequence is one byte (U+FFFD, one unit).
void NextCharacter(std::string_view text, size_t i, size_t& bytes, size_t& units)
{
    const auto b = static_cast<uint8_t>(text[i]);
    size_t want = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    bytes = 1;
    units = 1;
    if (want <= 1 || i + want > text.size())
        return;
    for (size_t k = 1; k < want; ++k)
        if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80)
            return;
    bytes = want;
    units = want == 4 ? 2 : 1;
}

} // namespace

std::string_view CutUtf8ToUnits(std::string_view text, size_t maxUnits)
{
    size_t i = 0, units = 0;
    while (i < text.size()) {
        size_t bytes, u;
        NextCharacter(text, i, bytes, u);
        if (units + u > maxUnits)
            break;
        units += u;
        i += bytes;
    }
    return text.substr(0, i);
}

size_t ChatFrameReader::Feed(const uint8_t* data, size_t length, Sink& sink)
{
    size_t i = 0;
    while (i < length && !m_ended) {
        switch (m_state) {
        case State::Type: {
            const uint8_t type = data[i++];
            if (type == 0)
                break;
            if (type != PLP_CHAT) {
                m_ended = true;
                break;
            }
            m_headerHeld = 0;
            m_state = State::Header;
            break;
        }
        case State::Header:
            m_header[m_headerHeld++] = data[i++];
            if (m_headerHeld == sizeof m_header) {
                m_need = (static_cast<size_t>(m_header[1]) << 8) | m_header[2];
                m_body.clear();
                m_state = m_need == 0 ? State::Type : State::Body;
            }
            break;
        case State::Body: {
            const size_t take = std::min(m_need - m_body.size(), length - i);
            m_body.insert(m_body.end(), data + i, data + i + take);
            i += take;
            if (m_body.size() == m_need) {
                Finish(sink);
                m_state = State::Type;
            }
            break;
        }
        }
    }
    return i;
}

void ChatFrameReader::Finish(Sink& sink)
{
    const size_t fromLength = m_header[3], toLength = m_header[4], n = m_body.size();
    const ChatFrame none;
    if (fromLength + toLength > n) {
        sink.OnChatFrame(Event::Dropped, none, "the ids are longer than the frame");
        return;
    }
    if (fromLength == 0 || toLength == 0 || fromLength > kChatMaxIdBytes || toLength > kChatMaxIdBytes) {
        sink.OnChatFrame(Event::Dropped, none, "a sender or recipient of 128 bytes or more, or none");
        return;
    }
    const char* bytes = reinterpret_cast<const char*>(m_body.data());
    ChatFrame frame;
    frame.from.assign(bytes, fromLength);
    frame.to.assign(bytes + fromLength, toLength);
    if (frame.from.find('\0') != std::string::npos || frame.to.find('\0') != std::string::npos) {
        sink.OnChatFrame(Event::Dropped, none, "a NUL inside a sender or recipient");
        return;
    }
    const std::string_view text(bytes + fromLength + toLength, n - fromLength - toLength);
    const std::string_view kept = CutUtf8ToUnits(text, kChatMaxTextUnits);
    frame.text.assign(kept);
    frame.textCut = kept.size() != text.size();
    sink.OnChatFrame(Event::Frame, frame, frame.textCut ? "the text was cut" : nullptr);
}
