#pragma once
// The downstream queue of the voice channel. Voice is worth nothing late, so
// when its reader falls behind whole packets are dropped rather than the
// relay waiting or the channel being closed. The stream is meeting packets
// (type, flags, big-endian 16-bit length, data), cut into frames anywhere;
// the decision is made per packet when its header is complete, so the
// reader never sees a packet cut short.
#include <cstddef>
#include <cstdint>
#include <vector>

class VoiceQueue {
public:
    static constexpr size_t kHeaderSize = 4;

    explicit VoiceQueue(size_t bound) : m_bound(bound) {}

    // Appends the packets of data that fit under the bound to queue (whose
    // bytes the caller removes as they are written out).
    void Append(const uint8_t* data, size_t length, std::vector<uint8_t>& queue);
    uint64_t DroppedPackets() const { return m_dropped; }
    void Reset();

private:
    size_t m_bound;
    uint8_t m_header[kHeaderSize] = {};
    size_t m_headerHave = 0;
    size_t m_bodyLeft = 0;
    bool m_keep = true;
    uint64_t m_dropped = 0;
};
