// Fuzz target: a ZlibInStream inflating hostile rectangles. Input layout:
// byte 0 picks the window size, byte 1 seeds the read pattern, bytes 2-5 are
// the announced compressed length (may exceed what follows), the rest is the
// "socket". Two rectangles are read on one inflate state.
#include "rfb/Exception.h"
#include "rfb/MemInStream.h"
#include "rfb/ZlibInStream.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    const size_t bufSize = 16 + (data[0] % 8) * 512;
    uint32_t seed = data[1];
    const size_t announced = static_cast<size_t>(data[2]) << 24 | static_cast<size_t>(data[3]) << 16 |
                             static_cast<size_t>(data[4]) << 8 | data[5];
    rdr::MemInStream sock(data + 6, size - 6);
    rdr::ZlibInStream zis(bufSize);
    std::vector<uint8_t> sink(4096);
    for (int rect = 0; rect < 2; ++rect) {
        try {
            zis.setUnderlying(&sock, rect == 0 ? announced : announced / 3);
            for (int i = 0; i < 64; ++i) {
                seed = seed * 1103515245u + 12345u;
                switch ((seed >> 16) % 4) {
                case 0:
                    zis.readU8();
                    break;
                case 1:
                    zis.readU32();
                    break;
                case 2:
                    zis.readBytes(sink.data(), (seed >> 8) % sink.size());
                    break;
                default:
                    zis.check((seed >> 4) % bufSize + 1, 3);
                    break;
                }
            }
            zis.reset();
        } catch (const rdr::Exception&) {
            return 0;
        }
    }
    return 0;
}
