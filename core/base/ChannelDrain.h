#pragma once
// Reads a meeting channel and discards what arrives, for a feature whose
// receiver is not there: a peer talking, chatting or sharing files can then
// never fill a socket that nobody reads (and so hold up the relay's queue
// for that channel). Stop ends it within its limit.
#include "core/base/BoundedThread.h"

#include <atomic>
#include <cstdint>

class ChannelDrain {
public:
    ChannelDrain() = default;
    ~ChannelDrain();
    ChannelDrain(const ChannelDrain&) = delete;
    ChannelDrain& operator=(const ChannelDrain&) = delete;

    static constexpr unsigned kJoinMs = 1000;

    // The channel's client end (a SOCKET), owned by the caller, who keeps it
    // open until Stop has returned. False for no socket or a second start.
    bool Start(std::uintptr_t channel);
    void Stop();
    uint64_t Discarded() const { return m_discarded->load(); }

private:
    BoundedThread m_thread;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<uint64_t>> m_discarded = std::make_shared<std::atomic<uint64_t>>(0);
};
