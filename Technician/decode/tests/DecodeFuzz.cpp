// Fuzz target for every decoder; the input is described in DecodeFuzzInput.h
// (encoding, client format and cache from the first bytes, then rectangles,
// new formats and new sizes). Every reported area must lie inside the
// framebuffer. The seeds in tests/corpus/decode are written by
// decode_fuzz_seeds (DecodeFuzzSeeds.cpp says how to regenerate them).
#include "Technician/decode/tests/DecodeFuzzInput.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!testdecode::RunFuzzInput(data, size).inside)
        std::abort();
    return 0;
}
