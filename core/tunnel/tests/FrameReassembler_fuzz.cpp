// Feeds arbitrary bytes, cut where the first byte says, and checks that what
// comes out is exactly the frames the input holds.
#include "core/tunnel/FrameReassembler.h"

#include <cstdlib>
#include <vector>

namespace {

struct Checker : FrameSink {
    bool AcceptsTag(uint16_t tag) override { return tag != TAG_SPARE; }
    bool Deliver(uint16_t, const uint8_t* data, size_t n) override
    {
        out.insert(out.end(), data, data + n);
        return true;
    }
    std::vector<uint8_t> out;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t stride = data[0] + 1u;
    ++data;
    --size;
    FrameReassembler r;
    Checker c;
    for (size_t at = 0; at < size; at += stride)
        if (r.Feed(data + at, std::min(stride, size - at), c) != FrameReassembler::Result::Continue)
            return 0;
    // Parse the input in one piece the simple way and compare.
    std::vector<uint8_t> expect;
    size_t pos = 0;
    while (size - pos >= 4) {
        size_t len = size_t(data[pos + 2]) << 8 | data[pos + 3];
        if (size - pos - 4 < len)
            break;
        expect.insert(expect.end(), data + pos + 4, data + pos + 4 + len);
        pos += 4 + len;
    }
    if (expect != c.out || r.HeldBytes() != size - pos)
        std::abort();
    return 0;
}
