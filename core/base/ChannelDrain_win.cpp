#include "core/base/ChannelDrain.h"

#include <winsock2.h>

#include <vector>

ChannelDrain::~ChannelDrain()
{
    Stop();
}

bool ChannelDrain::Start(std::uintptr_t channel)
{
    SOCKET s = static_cast<SOCKET>(channel);
    if (s == INVALID_SOCKET || m_thread.Started())
        return false;
    m_stop->store(false);
    auto stop = m_stop;
    auto discarded = m_discarded;
    return m_thread.Start([s, stop, discarded] {
        std::vector<char> buf(64 * 1024);
        while (!stop->load()) {
            fd_set r;
            FD_ZERO(&r);
            FD_SET(s, &r);
            timeval tv{0, 200 * 1000};
            int ready = select(0, &r, nullptr, nullptr, &tv);
            if (ready == 0)
                continue;
            int n = ready > 0 ? recv(s, buf.data(), static_cast<int>(buf.size()), 0) : -1;
            if (n < 0 && ready > 0 && WSAGetLastError() == WSAEWOULDBLOCK)
                continue;
            if (n <= 0)
                return; // closed or shut down: nothing more will come
            discarded->fetch_add(static_cast<uint64_t>(n));
        }
    });
}

void ChannelDrain::Stop()
{
    m_stop->store(true);
    m_thread.Join(kJoinMs);
}
