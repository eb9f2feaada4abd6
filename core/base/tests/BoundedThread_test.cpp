#include "core/base/BoundedThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>

namespace {

struct NotAnException {
};

// Whatever the body throws ends the thread, never the process, and reaches
// the fault callback; a clean end reports nothing.
TEST(BoundedThreadTest, EveryThrowIsCaughtAndReported)
{
    struct Case {
        const char* name;
        std::function<void()> body;
        std::string fault;
    } cases[] = {
        {"std exception", [] { throw std::runtime_error("bad frame"); }, "bad frame"},
        {"foreign type (as omni_thread_fatal is)", [] { throw NotAnException{}; }, "unknown exception"},
        {"int", [] { throw 7; }, "unknown exception"},
        {"clean end", [] {}, ""},
    };
    for (const Case& c : cases) {
        std::string seen;
        BoundedThread t;
        ASSERT_TRUE(t.Start(c.body, [&](const std::string& what) { seen = what; })) << c.name;
        EXPECT_TRUE(t.Join(5000)) << c.name;
        EXPECT_EQ(seen, c.fault) << c.name;
        EXPECT_FALSE(t.Started()) << c.name;
    }
}

// A body that does not end in time is left behind: Join returns at its
// limit, the object can start again, and the late end touches nothing freed.
TEST(BoundedThreadTest, JoinReturnsAtItsLimitAndTheLateEndIsHarmless)
{
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<bool> lateEnd{false};
    {
        BoundedThread t;
        ASSERT_TRUE(t.Start([gate, &lateEnd] {
            gate.wait();
            lateEnd = true;
        }));
        EXPECT_TRUE(t.Running());
        auto t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(t.Join(100));
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
        EXPECT_FALSE(t.Started());
        EXPECT_TRUE(t.Start([] {}));
        EXPECT_TRUE(t.Join(5000));
    } // the owner is gone before the left thread ends
    release.set_value();
    for (int i = 0; i < 500 && !lateEnd; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(lateEnd);
}

TEST(BoundedThreadTest, SecondStartWhileAttachedIsRefused)
{
    BoundedThread t;
    EXPECT_TRUE(t.Join(0)); // nothing started
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    ASSERT_TRUE(t.Start([gate] { gate.wait(); }));
    EXPECT_FALSE(t.Start([] {}));
    release.set_value();
    EXPECT_TRUE(t.Join(5000));
}

} // namespace
