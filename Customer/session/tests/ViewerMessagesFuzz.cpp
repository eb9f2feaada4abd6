// Fuzz target: any bytes from a viewer are read as whole messages or end the
// stream; never a crash, an overrun or an unbounded allocation.
#include "Customer/session/ViewerMessages.h"
#include "Customer/session/tests/MemoryReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryReader in(data, size);
    ViewerMessageReader reader(in);
    ViewerMessage msg;
    while (reader.Read(msg) == ReadStatus::Ok) {
        if (msg.text.size() > ViewerMessageReader::kMaxCutText)
            __builtin_trap();
    }
    return 0;
}
