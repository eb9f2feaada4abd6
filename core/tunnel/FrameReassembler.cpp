#include "core/tunnel/FrameReassembler.h"

#include <algorithm>

FrameReassembler::Result FrameReassembler::Stop(Result r)
{
    m_stopped = r;
    m_data.clear();
    m_data.shrink_to_fit();
    return r;
}

FrameReassembler::Result FrameReassembler::Finish(FrameSink& sink, uint16_t tag, const uint8_t* data, size_t length)
{
    if (length > 0 && !sink.Deliver(tag, data, length))
        return Stop(Result::SinkFailed);
    return Result::Continue;
}

FrameReassembler::Result FrameReassembler::Feed(const uint8_t* data, size_t length, FrameSink& sink)
{
    if (m_stopped != Result::Continue)
        return m_stopped;
    size_t pos = 0;
    while (pos < length) {
        if (!m_haveHeader) {
            // A whole frame inside this feed goes to the sink without a copy.
            if (m_headerHeld == 0 && length - pos >= kTunnelFrameHeaderSize) {
                TunnelFrameHeader h = DecodeTunnelFrameHeader(data + pos);
                if (!sink.AcceptsTag(h.tag))
                    return Stop(Result::UnknownTag);
                if (length - pos - kTunnelFrameHeaderSize >= h.length) {
                    Result r = Finish(sink, h.tag, data + pos + kTunnelFrameHeaderSize, h.length);
                    if (r != Result::Continue)
                        return r;
                    pos += kTunnelFrameHeaderSize + h.length;
                    continue;
                }
                m_current = h;
                m_headerHeld = kTunnelFrameHeaderSize;
                pos += kTunnelFrameHeaderSize;
            } else {
                size_t take = std::min(kTunnelFrameHeaderSize - m_headerHeld, length - pos);
                std::copy(data + pos, data + pos + take, m_header + m_headerHeld);
                m_headerHeld += take;
                pos += take;
                if (m_headerHeld < kTunnelFrameHeaderSize)
                    break;
                m_current = DecodeTunnelFrameHeader(m_header);
                if (!sink.AcceptsTag(m_current.tag))
                    return Stop(Result::UnknownTag);
            }
            m_haveHeader = true;
            m_data.clear();
            m_data.reserve(m_current.length);
        }
        size_t take = std::min<size_t>(m_current.length - m_data.size(), length - pos);
        m_data.insert(m_data.end(), data + pos, data + pos + take);
        pos += take;
        if (m_data.size() < m_current.length)
            break;
        m_haveHeader = false;
        m_headerHeld = 0;
        Result r = Finish(sink, m_current.tag, m_data.data(), m_data.size());
        if (r != Result::Continue)
            return r;
        m_data.clear();
    }
    return Result::Continue;
}

void FrameReassembler::Reset()
{
    m_stopped = Result::Continue;
    m_headerHeld = 0;
    m_haveHeader = false;
    m_data.clear();
}

size_t FrameReassembler::HeldBytes() const
{
    return m_headerHeld + (m_haveHeader ? m_data.size() : 0);
}
