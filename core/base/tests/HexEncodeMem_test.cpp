#include "core/base/HexEncodeMem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

s_mem Bytes(const std::vector<uint8_t>& v)
{
    s_mem m;
    m.Assign(v.data(), v.size());
    return m;
}

TEST(HexEncodeMem, Table)
{
    struct Case { std::vector<uint8_t> in; std::string out; };
    const Case cases[] = {
        {{}, ""},
        {{0x00, 0x0f, 0xab}, "000fab"},
        {{0xff, 0x10, 0x01, 0x9c}, "ff10019c"},
    };
    for (const auto& c : cases) {
        std::string out;
        HexEncodeMem(Bytes(c.in), out);
        EXPECT_EQ(out, c.out);
    }
}

TEST(HexEncodeMem, AppendsAndCoversHeapBuffers)
{
    std::vector<uint8_t> all(300);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(i);
    std::string out = "sha1:";
    HexEncodeMem(Bytes(all), out);
    ASSERT_EQ(out.size(), 5u + 600u);
    EXPECT_EQ(out.compare(0, 11, "sha1:000102"), 0);
    EXPECT_EQ(out.substr(5 + 2 * 255, 6), "ff0001");  // wraps after 0xff
}

} // namespace
