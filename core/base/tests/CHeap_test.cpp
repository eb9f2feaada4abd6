#include "core/base/CHeap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

std::atomic<int> g_destroyed{0};

struct Tracked : CHeap {
    explicit Tracked(int v) : value(v) {}
    ~Tracked() override { ++g_destroyed; }
    int value;
    char payload[40] = {};
};

struct Derived : Tracked {
    Derived() : Tracked(7) {}
    std::uint64_t extra[16] = {};
};

} // namespace

TEST(CHeap, HeapLivesExactlyWhileObjectsLive)
{
    ASSERT_EQ(CHeap::LiveCount(), 0u);
    ASSERT_EQ(CHeap::HeapHandle(), nullptr);

    Tracked* a = new Tracked(1);
    ASSERT_NE(a, nullptr);
    void* heap = CHeap::HeapHandle();
    EXPECT_NE(heap, nullptr);
    EXPECT_EQ(CHeap::LiveCount(), 1u);

    Tracked* b = new Derived;
    EXPECT_EQ(CHeap::LiveCount(), 2u);
    EXPECT_EQ(CHeap::HeapHandle(), heap);

    int before = g_destroyed;
    delete b;  // through the base: the whole object's destructors run
    EXPECT_EQ(g_destroyed, before + 1);
    EXPECT_EQ(CHeap::LiveCount(), 1u);
    EXPECT_EQ(CHeap::HeapHandle(), heap);

    delete a;
    EXPECT_EQ(CHeap::LiveCount(), 0u);
    EXPECT_EQ(CHeap::HeapHandle(), nullptr);

    // The next allocation makes a fresh heap.
    Tracked* c = new Tracked(3);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(CHeap::HeapHandle(), nullptr);
    EXPECT_EQ(c->value, 3);
    delete c;
    EXPECT_EQ(CHeap::HeapHandle(), nullptr);
}

TEST(CHeap, FailedAllocationReturnsNullAndKeepsCount)
{
    Tracked* keep = new Tracked(1);
    ASSERT_EQ(CHeap::LiveCount(), 1u);
    EXPECT_EQ(CHeap::operator new(static_cast<std::size_t>(1) << 60), nullptr);
    EXPECT_EQ(CHeap::LiveCount(), 1u);
    EXPECT_NE(CHeap::HeapHandle(), nullptr);
    delete keep;

    // With no live object a failed allocation leaves no heap behind either.
    EXPECT_EQ(CHeap::operator new(static_cast<std::size_t>(1) << 60), nullptr);
    EXPECT_EQ(CHeap::LiveCount(), 0u);
    EXPECT_EQ(CHeap::HeapHandle(), nullptr);
}

TEST(CHeap, DeletingNullDoesNothing)
{
    Tracked* none = nullptr;
    delete none;
    CHeap::operator delete(nullptr);
    EXPECT_EQ(CHeap::LiveCount(), 0u);
}

// Many threads create and delete objects while the live count keeps falling
// to 0, so the heap is destroyed and re-created under their feet.
TEST(CHeap, ManyThreadsAllocateAndDelete)
{
    constexpr int kThreads = 8;
    constexpr int kRounds = 4000;
    std::atomic<bool> bad{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &bad] {
            std::vector<Tracked*> held;
            for (int i = 0; i < kRounds; ++i) {
                Tracked* p = (i % 3 == 0) ? new Derived : new Tracked(t * kRounds + i);
                if (p == nullptr) {
                    bad = true;
                    return;
                }
                held.push_back(p);
                // Keep 0-2 objects alive so the count often returns to 0.
                if (held.size() > static_cast<std::size_t>(i % 3)) {
                    for (Tracked* q : held) {
                        if (q->value < 0)
                            bad = true;
                        delete q;
                    }
                    held.clear();
                }
            }
            for (Tracked* q : held)
                delete q;
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_FALSE(bad);
    EXPECT_EQ(CHeap::LiveCount(), 0u);
    EXPECT_EQ(CHeap::HeapHandle(), nullptr);
}
