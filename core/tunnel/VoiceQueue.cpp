#include "core/tunnel/VoiceQueue.h"

#include <algorithm>

void VoiceQueue::Append(const uint8_t* data, size_t length, std::vector<uint8_t>& queue)
{
    while (length > 0) {
        if (m_bodyLeft == 0 && m_headerHave < kHeaderSize) {
            m_header[m_headerHave++] = *data++;
            --length;
            if (m_headerHave < kHeaderSize)
                continue;
            m_bodyLeft = static_cast<size_t>(m_header[2]) << 8 | m_header[3];
            m_keep = queue.size() + kHeaderSize + m_bodyLeft <= m_bound;
            if (m_keep)
                queue.insert(queue.end(), m_header, m_header + kHeaderSize);
            else
                ++m_dropped;
            if (m_bodyLeft == 0)
                m_headerHave = 0;
            continue;
        }
        size_t n = std::min(length, m_bodyLeft);
        if (m_keep)
            queue.insert(queue.end(), data, data + n);
        data += n;
        length -= n;
        m_bodyLeft -= n;
        if (m_bodyLeft == 0)
            m_headerHave = 0;
    }
}

void VoiceQueue::Reset()
{
    m_headerHave = 0;
    m_bodyLeft = 0;
    m_keep = true;
}
