// One zlib stream of a viewing session (Tight's four, the zlib family's one,
// ZlibHex's two). The host keeps its deflate stream across rectangles, so
// the stream lives until the session ends or the host asks for a reset.
// A rectangle's compressed bytes are read whole first; inflate then must
// turn them into exactly what the rectangle needs.
//
// A zlib call that fails writes the viewer's line for it to the log, worded
// as its decoder always has, and throws DecodeError (the stream is out of
// step with the host's for good, so the session ends).
#pragma once

#include "Technician/decode/DecodeLog.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct z_stream_s;

namespace decode {

class Inflater {
public:
    // ReturnCode: "zlib inflate error: %d\n" (the zlib family, ZlibHex).
    // Message: "zlib inflate() error: %s.\n", zlib's message when it has one,
    // else its code (Tight).
    enum class Wording { ReturnCode, Message };

    Inflater(const char* name, Wording wording);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates all of in into out; returns the bytes produced. Throws
    // DecodeError when zlib fails or the output would not fit in capacity.
    size_t inflate(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity, const DecodeLog& log);
    // As inflate, and the output must be exactly `size` bytes; when it is
    // not, wrongSizeLine (if given) is logged before the throw.
    void inflateExact(const uint8_t* in, size_t inLength, uint8_t* out, size_t size, const DecodeLog& log,
                      const char* wrongSizeLine = nullptr);
    // Ends the stream; the next use starts a new one.
    void reset(const DecodeLog& log);

private:
    // Inflates into capacity bytes; `more` is set when zlib holds output
    // beyond them.
    size_t run(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity, const DecodeLog& log, bool& more);
    [[noreturn]] void zlibFailed(const char* call, int rc, const DecodeLog& log);

    const char* m_name;
    Wording m_wording;
    std::unique_ptr<z_stream_s> m_zs;
    bool m_active = false;
};

} // namespace decode
