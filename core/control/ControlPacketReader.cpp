#include "core/control/ControlPacketReader.h"

#include <algorithm>
#include <cstring>

std::string_view ReceivedPacket::Text() const
{
    const void* nul = length ? std::memchr(data, 0, length) : nullptr;
    size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) : length;
    return std::string_view(reinterpret_cast<const char*>(data), n);
}

ControlPacketReader::ControlPacketReader()
{
    m_payload.reserve(1);
}

void ControlPacketReader::Feed(const uint8_t* data, size_t length, Sink& sink)
{
    size_t pos = 0;
    while (pos < length) {
        if (m_held < kControlPacketHeaderSize) {
            size_t take = std::min(kControlPacketHeaderSize - m_held, length - pos);
            std::copy_n(data + pos, take, m_header + m_held);
            m_held += take;
            pos += take;
            if (m_held < kControlPacketHeaderSize)
                break;
            m_current = ControlPacketHeader::Decode(m_header);
            m_payload.clear();
            m_payload.reserve(m_current.length + 1u);
        }
        size_t take = std::min<size_t>(m_current.length - m_payload.size(), length - pos);
        m_payload.insert(m_payload.end(), data + pos, data + pos + take);
        pos += take;
        m_held += take;
        if (m_payload.size() < m_current.length)
            break;
        m_payload.push_back(0);
        ReceivedPacket p;
        p.type = m_current.type;
        p.data = m_payload.data();
        p.length = m_current.length;
        m_held = 0;
        sink.OnPacket(p);
    }
}
