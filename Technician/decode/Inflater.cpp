#include "Technician/decode/Inflater.h"

#include "Technician/decode/DecodeError.h"

#include <zlib.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace decode {

namespace {

[[noreturn]] void fail(const char* name, const char* what)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s: %s", name, what);
    throw DecodeError(text);
}

} // namespace

Inflater::Inflater(const char* name, Wording wording) : m_name(name), m_wording(wording), m_zs(new z_stream_s()) {}

Inflater::~Inflater()
{
    if (m_active)
        inflateEnd(m_zs.get());
}

void Inflater::zlibFailed(const char* call, int rc, const DecodeLog& log)
{
    const char* message = m_zs->msg;
    const bool end = std::strcmp(call, "inflateEnd") == 0;
    if (m_wording == Wording::ReturnCode)
        log.write(LogLevel::DebugError, "zlib %s error: %d\n", call, rc);
    else if (message)
        log.write(LogLevel::DebugError, end ? "zlib %s() error: %s\n" : "zlib %s() error: %s.\n", call, message);
    else
        log.write(LogLevel::DebugError, end ? "zlib %s() error: %d\n" : "zlib %s() error: %d.\n", call, rc);
    char what[120];
    std::snprintf(what, sizeof what, "zlib %s failed: %s", call, message ? message : "no message");
    fail(m_name, what);
}

void Inflater::reset(const DecodeLog& log)
{
    if (!m_active)
        return;
    m_active = false;
    const int rc = inflateEnd(m_zs.get());
    if (rc != Z_OK)
        zlibFailed("inflateEnd", rc, log);
}

size_t Inflater::run(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity, const DecodeLog& log,
                     bool& more)
{
    more = false;
    if (!m_active) {
        *m_zs = z_stream_s();
        const int rc = inflateInit(m_zs.get());
        if (rc != Z_OK)
            zlibFailed("inflateInit", rc, log);
        m_active = true;
    }
    if (inLength > UINT_MAX || capacity > UINT_MAX)
        fail(m_name, "block too large");
    // zlib makes no progress into no space at all, so an empty output gets a
    // byte of scratch that must stay unused.
    uint8_t scratch;
    const bool none = capacity == 0;
    if (none) {
        out = &scratch;
        capacity = 1;
    }
    z_stream_s* zs = m_zs.get();
    zs->next_in = const_cast<Bytef*>(in);
    zs->avail_in = static_cast<uInt>(inLength);
    zs->next_out = out;
    zs->avail_out = static_cast<uInt>(capacity);
    const int rc = ::inflate(zs, Z_SYNC_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && inLength == 0))
        zlibFailed("inflate", rc, log);
    const size_t produced = capacity - zs->avail_out;
    if (zs->avail_in != 0 || (none && produced != 0)) {
        more = true;
        return none ? 0 : produced;
    }
    if (none)
        return 0;
    if (zs->avail_out == 0) {
        // Output full with every input byte taken: zlib may still hold more.
        uint8_t spare;
        zs->next_out = &spare;
        zs->avail_out = 1;
        const int next = ::inflate(zs, Z_SYNC_FLUSH);
        more = zs->avail_out == 0 || (next != Z_OK && next != Z_BUF_ERROR && next != Z_STREAM_END);
    }
    return produced;
}

size_t Inflater::inflate(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity, const DecodeLog& log)
{
    bool more;
    const size_t produced = run(in, inLength, out, capacity, log, more);
    if (more)
        fail(m_name, "inflated data longer than the rectangle needs");
    return produced;
}

void Inflater::inflateExact(const uint8_t* in, size_t inLength, uint8_t* out, size_t size, const DecodeLog& log,
                            const char* wrongSizeLine)
{
    bool more;
    const size_t produced = run(in, inLength, out, size, log, more);
    if (!more && produced == size)
        return;
    if (wrongSizeLine)
        log.write(LogLevel::DebugError, "%s", wrongSizeLine);
    fail(m_name, more ? "inflated data longer than the rectangle needs"
                      : "inflated data shorter than the rectangle needs");
}

} // namespace decode
