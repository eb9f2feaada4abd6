// Fuzz target: any bytes from a viewer are read as whole messages or end the
// stream; never a crash, an overrun or an unbounded allocation.
#include "Customer/ViewerMessages.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

class FuzzReader : public ExactReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool ReadExact(void* buffer, size_t n) override
    {
        if (m_size - m_pos < n)
            return false;
        if (n)
            std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    ViewerMessageReader reader(in);
    ViewerMessage msg;
    while (reader.Read(msg) == ReadStatus::Ok) {
        if (msg.text.size() > ViewerMessageReader::kMaxCutText)
            __builtin_trap();
    }
    return 0;
}
