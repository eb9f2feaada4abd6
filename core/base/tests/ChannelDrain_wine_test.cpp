#include "core/base/ChannelDrain.h"
#include "tests/support/LoopbackSockets_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

// Regression: the chat, file-share and voice stubs started no reader, so a
// peer talking filled their channel until the relay stopped behind it. The
// drain takes far more than every buffer holds, and stops within its limit.
TEST(ChannelDrain, TakesEverythingAPeerSendsAndStopsInTime)
{
    LoopbackSockets p;
    ASSERT_NE(p.feature, INVALID_SOCKET);
    ChannelDrain drain;
    ASSERT_TRUE(drain.Start(static_cast<std::uintptr_t>(p.feature)));
    EXPECT_FALSE(drain.Start(static_cast<std::uintptr_t>(p.feature)));
    std::vector<char> chunk(1 << 20, 'v');
    for (int i = 0; i < 32; ++i) // 32 MB: a blocking send returns only if it is read
        ASSERT_EQ(send(p.peer, chunk.data(), static_cast<int>(chunk.size()), 0), static_cast<int>(chunk.size()));
    for (int i = 0; i < 500 && drain.Discarded() < 32u << 20; ++i)
        Sleep(10);
    EXPECT_EQ(drain.Discarded(), 32u << 20);
    auto t0 = std::chrono::steady_clock::now();
    drain.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(ChannelDrain::kJoinMs));
    EXPECT_FALSE(drain.Start(static_cast<std::uintptr_t>(INVALID_SOCKET)));
}

} // namespace
