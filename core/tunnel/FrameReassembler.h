#pragma once
// Splits the decrypted byte stream of a tunnel into whole frames. Frames may
// arrive cut at any byte, inside the header too, and over any number of
// receives; each reaches the sink whole and in order. A frame can hold up to
// 65535 data bytes, so the store for an incomplete frame grows to that size.
#include "core/tunnel/TunnelFrame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Asked as soon as a header is complete: false stops the stream there.
    virtual bool AcceptsTag(uint16_t tag) = 0;
    // One whole frame; false (the local socket failed) stops the stream.
    virtual bool Deliver(uint16_t tag, const uint8_t* data, size_t length) = 0;
};

class FrameReassembler {
public:
    enum class Result { Continue, UnknownTag, SinkFailed };

    // Once a feed has stopped, every later one returns the same result and
    // delivers nothing: the stream cannot be resynchronised.
    Result Feed(const uint8_t* data, size_t length, FrameSink& sink);
    void Reset();
    // Bytes of an incomplete frame held since the last feed (header included).
    size_t HeldBytes() const;

private:
    Result Stop(Result r);
    Result Finish(FrameSink& sink, uint16_t tag, const uint8_t* data, size_t length);

    Result m_stopped = Result::Continue;
    uint8_t m_header[kTunnelFrameHeaderSize] = {};
    size_t m_headerHeld = 0;
    bool m_haveHeader = false;
    TunnelFrameHeader m_current = {};
    std::vector<uint8_t> m_data;
};
