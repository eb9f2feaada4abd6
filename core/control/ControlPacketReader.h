#pragma once
// Splits the byte stream of a meeting channel into packets. A header or a
// payload may come in any number of pieces; every payload is read whole, of
// every type, so an unexpected payload never puts the stream out of step.
#include "core/control/ControlPacket.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

struct ReceivedPacket {
    uint8_t type = 0;
    // The payload, always followed by one NUL byte that is not counted.
    const uint8_t* data = nullptr;
    size_t length = 0;

    // The payload as a text: up to its first NUL, never past its length.
    std::string_view Text() const;
};

class ControlPacketReader {
public:
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual void OnPacket(const ReceivedPacket& packet) = 0;
    };

    ControlPacketReader();
    void Feed(const uint8_t* data, size_t length, Sink& sink);
    // Bytes of an incomplete packet held (header included).
    size_t HeldBytes() const { return m_held; }

private:
    uint8_t m_header[kControlPacketHeaderSize] = {};
    size_t m_held = 0;
    ControlPacketHeader m_current = {};
    std::vector<uint8_t> m_payload;
};
