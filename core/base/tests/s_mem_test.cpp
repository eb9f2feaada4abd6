#include "core/base/s_mem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Text(const s_mem& m)
{
    return std::string(reinterpret_cast<const char*>(m.Data()), m.Length());
}

std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 1);
    return v;
}

TEST(SMem, StaysInlineUpTo128AndGrowsIn256Steps)
{
    s_mem m;
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.Capacity(), 128u);
    const auto p = Pattern(600);
    m.Append(p.data(), 128);
    EXPECT_EQ(m.Capacity(), 128u);
    m.Append(p.data() + 128, 1);
    EXPECT_EQ(m.Capacity(), 256u);
    m.Append(p.data() + 129, 126);
    EXPECT_EQ(m.Length(), 255u);
    EXPECT_EQ(m.Capacity(), 256u);
    // A full heap block is used up before the next step.
    m.Append(p.data() + 255, 1);
    EXPECT_EQ(m.Length(), 256u);
    EXPECT_EQ(m.Capacity(), 256u);
    m.Append(p.data() + 256, 1);
    EXPECT_EQ(m.Capacity(), 512u);
    m.Append(p.data() + 257, 343);
    EXPECT_EQ(m.Capacity(), 768u);
    ASSERT_EQ(m.Length(), 600u);
    EXPECT_EQ(0, std::memcmp(m.Data(), p.data(), 600));
}

TEST(SMem, GrowthStepIsNextMultipleOf256AboveEnd)
{
    struct Case { size_t end; uint32_t capacity; };
    const Case cases[] = {{129, 256}, {255, 256}, {256, 512}, {300, 512}, {1000, 1024}, {1024, 1280}};
    for (const auto& c : cases) {
        s_mem m;
        const std::vector<uint8_t> v(c.end, 0x5A);
        m.Append(v.data(), v.size());
        EXPECT_EQ(m.Capacity(), c.capacity) << c.end;
        EXPECT_EQ(m.Length(), c.end);
    }
}

TEST(SMem, WriteAtAppendsOverwritesAndCuts)
{
    s_mem m;
    m.Assign("abcdef", 6);
    m.WriteAt(6, "gh", 2);
    EXPECT_EQ(Text(m), "abcdefgh");
    m.WriteAt(2, "XY", 2);
    EXPECT_EQ(Text(m), "abXY");
    m.WriteAt(0, "Z", 1);
    EXPECT_EQ(Text(m), "Z");
}

TEST(SMem, WriteAtIgnoresBadArguments)
{
    s_mem m;
    m.Assign("abc", 3);
    m.WriteAt(4, "x", 1);
    m.WriteAt(1, nullptr, 1);
    m.WriteAt(1, "x", 0);
    EXPECT_EQ(Text(m), "abc");
}

TEST(SMem, WriteAtRefusesSizesThatWouldWrap)
{
    s_mem m;
    m.Assign("abc", 3);
    const char byte = 'x';
    // A 32-bit pos + len would wrap to a small end and skip the growth.
    m.WriteAt(3, &byte, UINT32_MAX);
    m.WriteAt(3, &byte, static_cast<size_t>(UINT32_MAX) - 2);
    m.WriteAt(3, &byte, SIZE_MAX);
    // Near 4 GiB the 256-byte rounding itself would wrap to 0.
    m.WriteAt(3, &byte, static_cast<size_t>(UINT32_MAX) - 3);
    EXPECT_EQ(Text(m), "abc");
    EXPECT_EQ(m.Capacity(), 128u);
}

TEST(SMem, ClearReleasesHeapAndZeroesInlineStore)
{
    s_mem m;
    const auto p = Pattern(1000);
    m.Assign(p.data(), p.size());
    EXPECT_EQ(m.Capacity(), 1024u);
    m.Clear();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.Capacity(), 128u);
    for (uint32_t i = 0; i < m.Capacity(); ++i)
        ASSERT_EQ(m.Data()[i], 0) << i;
}

TEST(SMem, CopiesOwnTheirStore)
{
    for (size_t n : {size_t{10}, size_t{500}}) {
        const auto p = Pattern(n);
        s_mem a;
        a.Assign(p.data(), n);
        s_mem b(a);
        s_mem c;
        c.Assign("old", 3);
        c = a;
        a.WriteAt(0, "!", 1);
        EXPECT_NE(b.Data(), a.Data());
        EXPECT_NE(c.Data(), a.Data());
        EXPECT_EQ(0, std::memcmp(b.Data(), p.data(), n));
        EXPECT_EQ(0, std::memcmp(c.Data(), p.data(), n));
        EXPECT_EQ(b.Length(), n);
        EXPECT_EQ(c.Length(), n);
        c = c;
        EXPECT_EQ(c.Length(), n);
    }
}

TEST(SMem, MovesRepointInlineAndTakeHeapBlocks)
{
    for (size_t n : {size_t{10}, size_t{500}}) {
        const auto p = Pattern(n);
        s_mem a;
        a.Assign(p.data(), n);
        s_mem b(std::move(a));
        EXPECT_TRUE(a.IsEmpty());
        s_mem c;
        c.Assign("old", 3);
        c = std::move(b);
        EXPECT_TRUE(b.IsEmpty());
        ASSERT_EQ(c.Length(), n);
        EXPECT_EQ(0, std::memcmp(c.Data(), p.data(), n));
        // The inline case must point at c's own store, not the moved-from one.
        if (n <= s_mem::kInlineSize) {
            EXPECT_EQ(c.Capacity(), 128u);
        }
        a.Assign("reuse", 5);
        EXPECT_EQ(Text(a), "reuse");
        EXPECT_EQ(0, std::memcmp(c.Data(), p.data(), n));
    }
}

TEST(SMem, SourceInsideOwnBuffer)
{
    // Growing while the source is the buffer's own old store.
    s_mem m;
    const auto p = Pattern(100);
    m.Assign(p.data(), 100);
    m.Append(m.Data(), 100);
    ASSERT_EQ(m.Length(), 200u);
    EXPECT_EQ(0, std::memcmp(m.Data(), p.data(), 100));
    EXPECT_EQ(0, std::memcmp(m.Data() + 100, p.data(), 100));
    // Assign from a part of itself keeps the bytes even from a heap block.
    m.Assign(m.Data() + 150, 50);
    ASSERT_EQ(m.Length(), 50u);
    EXPECT_EQ(0, std::memcmp(m.Data(), p.data() + 50, 50));
}

} // namespace
