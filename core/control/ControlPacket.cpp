#include "core/control/ControlPacket.h"

#include <algorithm>
#include <cstring>

void ControlPacketHeader::Encode(uint8_t out[kControlPacketHeaderSize]) const
{
    out[0] = type;
    out[1] = 0;
    out[2] = static_cast<uint8_t>(length >> 8);
    out[3] = static_cast<uint8_t>(length);
}

ControlPacketHeader ControlPacketHeader::Decode(const uint8_t in[kControlPacketHeaderSize])
{
    return ControlPacketHeader{in[0], static_cast<uint16_t>(in[2] << 8 | in[3])};
}

namespace {

class PacketWriter {
public:
    explicit PacketWriter(uint8_t type) : m_bytes(kControlPacketHeaderSize, 0) { m_bytes[0] = type; }

    void Name(std::string_view s)
    {
        size_t at = m_bytes.size();
        m_bytes.resize(at + kNameFieldSize, 0);
        std::copy_n(s.data(), std::min(s.size(), kNameFieldSize - 1), &m_bytes[at]);
    }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Bytes(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        m_bytes.insert(m_bytes.end(), b, b + n);
    }
    void Zeros(size_t n) { m_bytes.resize(m_bytes.size() + n, 0); }
    ControlPacket Done()
    {
        size_t payload = m_bytes.size() - kControlPacketHeaderSize;
        ControlPacketHeader{m_bytes[0], static_cast<uint16_t>(payload)}.Encode(m_bytes.data());
        return std::move(m_bytes);
    }

private:
    ControlPacket m_bytes;
};

ControlPacket TextPacket(uint8_t type, std::string_view text)
{
    PacketWriter w(type);
    w.Bytes(text.data(), text.size());
    w.Zeros(1);
    return w.Done();
}

} // namespace

ControlPacket BuildTwoNamePacket(uint8_t type, std::string_view first, std::string_view second)
{
    PacketWriter w(type);
    w.Name(first);
    w.Name(second);
    return w.Done();
}

ControlPacket BuildControlMessage(const ControlMessage& m)
{
    PacketWriter w(m.type);
    switch (m.type) {
    case PLP_SHARING_STATE: {
        bool own = m.value1 == 0 || m.value2 == 0;
        w.Name(m.ownSessionId);
        w.U32(own ? m.prevSharingStep : m.value1);
        w.U32(own ? m.sharingStep : m.value2);
        break;
    }
    case PLP_SET_HOST:
    case PLP_SHARING_REQUEST:
        w.Name(m.name);
        w.U32(m.value1);
        w.U32(m.value2);
        break;
    case PLP_SET_ASSIST_PERMISSION:
        w.Name(m.name);
        w.U32(m.value1);
        w.U32(m.value2);
        w.U32(m.value3);
        break;
    case PLP_KICK:
        w.Name(m.name);
        break;
    case PLP_START_MEETING:
    case PLP_END_MEETING:
        break;
    case PLP_REQUEST_CONTROL:
    case PLP_RELEASE_CONTROL:
    case PLP_REJECT_CONTROL:
    case PLP_REQUEST_HOST:
    case PLP_REJECT_HOST:
    case PLP_ASK_HOST:
    case PLP_HOST_ACCEPT:
    case PLP_HOST_DECLINE:
        return BuildTwoNamePacket(m.type, m.name, m.other);
    case PLP_SET_VIEW_ONLY:
        w.Name(m.name);
        w.U32(m.value1);
        break;
    case PLP_RENAME: {
        // The new name is copied as given, but never past the caller's text.
        w.Name(m.name);
        size_t n = std::min<size_t>({m.value2, m.other.size(), kNameFieldSize});
        w.Bytes(m.other.data(), n);
        w.Zeros(kNameFieldSize - n);
        break;
    }
    default:
        return {};
    }
    return w.Done();
}

bool BuildTextPackets(uint8_t type, std::string_view text, std::vector<ControlPacket>& out)
{
    std::vector<ControlPacket> built;
    switch (type) {
    case PLP_POLL_OPEN_LAST:
        while (text.size() > kPollPieceChars) {
            built.push_back(TextPacket(PLP_POLL_OPEN_PART, text.substr(0, kPollPieceChars)));
            text.remove_prefix(kPollPieceChars);
        }
        built.push_back(TextPacket(PLP_POLL_OPEN_LAST, text));
        break;
    case PLP_POLL_SUBMIT:
    case PLP_CANVAS:
    case PLP_PARTI_MARK:
        if (text.size() > kMaxPacketText)
            return false;
        built.push_back(TextPacket(type, text));
        break;
    case PLP_POLL_CLOSE:
        built.push_back(PacketWriter(type).Done());
        break;
    default:
        return false;
    }
    for (auto& p : built)
        out.push_back(std::move(p));
    return true;
}

std::vector<ControlPacket> BuildAudioPackets(uint8_t piece, const uint8_t* data, size_t length)
{
    std::vector<ControlPacket> out;
    do {
        size_t n = std::min(length, kAudioPieceBytes);
        PacketWriter w(PLP_AUDIO);
        w.Bytes(&piece, 1);
        if (n > 0)
            w.Bytes(data, n);
        out.push_back(w.Done());
        data += n;
        length -= n;
        ++piece;
    } while (length > 0);
    return out;
}

std::string ReadNameField(const uint8_t* payload, size_t payloadLength, size_t offset)
{
    if (offset >= payloadLength)
        return {};
    size_t limit = std::min(kNameFieldSize, payloadLength - offset);
    const uint8_t* p = payload + offset;
    const void* nul = std::memchr(p, 0, limit);
    size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : limit;
    return std::string(reinterpret_cast<const char*>(p), n);
}
