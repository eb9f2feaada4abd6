#include "core/control/ControlStateBits.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(ControlStateBits, ChangeClearsThenSets)
{
    ControlStateBits bits;
    EXPECT_EQ(bits.Get(), 0u);
    EXPECT_EQ(bits.Change(0, 1), 1u);
    // A participant takes control: bit 0 off, bit 1 on, as one step.
    EXPECT_EQ(bits.Change(1, ControlStateBits::kParticipantControls), 2u);
    EXPECT_EQ(bits.Change(ControlStateBits::kParticipantControls, 0), 0u);
    EXPECT_EQ(bits.Get(), 0u);
}

TEST(ControlStateBits, ChangesFromManyThreadsAreNotLost)
{
    ControlStateBits bits;
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 8; ++t)
        threads.emplace_back([&bits, t] {
            for (int i = 0; i < 2000; ++i) {
                bits.Change(0, 1u << t);
                bits.Change(1u << t, 0);
            }
            bits.Change(0, 1u << t);
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(bits.Get(), 0xFFu);
}
