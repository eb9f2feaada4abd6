#pragma once
// The manager's control-state bits with their own lock: bit 0 and bit 1 tell
// who controls the shared screen (bit 1: a participant holds control). The
// control bar, the request handlers and the receive threads change them from
// different threads, so every change is one step under the lock.
#include <cstdint>
#include <mutex>

class ControlStateBits {
public:
    static constexpr uint32_t kParticipantControls = 2u;

    uint32_t Get() const;
    // bits = (bits & ~clear) | set, in one step; returns the new bits.
    uint32_t Change(uint32_t clear, uint32_t set);

private:
    mutable std::mutex m_lock;
    uint32_t m_bits = 0;
};
