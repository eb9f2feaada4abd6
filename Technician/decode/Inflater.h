// One zlib stream of a viewing session (Tight's four, the zlib family's one,
// ZlibHex's two). The host keeps its deflate stream across rectangles, so
// the stream lives until the session ends or the host asks for a reset.
// A rectangle's compressed bytes are read whole first; inflate then must
// turn them into exactly what the rectangle needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

struct z_stream_s;

namespace decode {

class Inflater {
public:
    explicit Inflater(const char* name);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates all of in into out; returns the bytes produced. Throws
    // DecodeError when zlib fails or the output would not fit in capacity
    // (the stream is then out of step with the host's for good).
    size_t inflate(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity);
    // As inflate, and the output must be exactly `size` bytes.
    void inflateExact(const uint8_t* in, size_t inLength, uint8_t* out, size_t size);
    // Ends the stream; the next use starts a new one.
    void reset();

private:
    const char* m_name;
    std::unique_ptr<z_stream_s> m_zs;
    bool m_active = false;
};

} // namespace decode
