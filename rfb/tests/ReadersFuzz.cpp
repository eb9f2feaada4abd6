// Fuzz target: the inline readers on a memory stream. Byte 0 says how many of
// the following bytes are operations; the rest is the stream they read.
#include "rfb/Exception.h"
#include "rfb/MemInStream.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    size_t nOps = data[0] % 64;
    if (nOps > size - 1)
        nOps = size - 1;
    const uint8_t* ops = data + 1;
    rdr::MemInStream in(ops + nOps, size - 1 - nOps);
    std::vector<uint8_t> sink(256);
    try {
        for (size_t i = 0; i < nOps; ++i) {
            const uint8_t op = ops[i];
            switch (op % 9) {
            case 0:
                in.readU8();
                break;
            case 1:
                in.readU16();
                break;
            case 2:
                in.readS32();
                break;
            case 3:
                in.readOpaque24A();
                break;
            case 4:
                in.readOpaque24B();
                break;
            case 5:
                in.readBytes(sink.data(), op);
                break;
            case 6:
                in.skip(static_cast<size_t>(op) * 13);
                break;
            case 7:
                in.check(op % 5 + 1, SIZE_MAX / (op % 5 + 1));
                break;
            default:
                in.readOpaque32();
                break;
            }
        }
    } catch (const rdr::Exception&) {
    }
    return 0;
}
