#include "Technician/decode/Inflater.h"

#include "Technician/decode/DecodeError.h"

#include <zlib.h>

#include <climits>
#include <cstdio>

namespace decode {

namespace {

[[noreturn]] void fail(const char* name, const char* what)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s: %s", name, what);
    throw DecodeError(text);
}

} // namespace

Inflater::Inflater(const char* name) : m_name(name), m_zs(new z_stream_s()) {}

Inflater::~Inflater()
{
    reset();
}

void Inflater::reset()
{
    if (m_active)
        inflateEnd(m_zs.get());
    m_active = false;
}

size_t Inflater::inflate(const uint8_t* in, size_t inLength, uint8_t* out, size_t capacity)
{
    if (!m_active) {
        *m_zs = z_stream_s();
        if (inflateInit(m_zs.get()) != Z_OK)
            fail(m_name, "zlib inflateInit failed");
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
        fail(m_name, zs->msg ? zs->msg : "zlib inflate failed");
    if (zs->avail_in != 0)
        fail(m_name, "inflated data longer than the rectangle needs");
    const size_t produced = capacity - zs->avail_out;
    if (none) {
        if (produced != 0)
            fail(m_name, "inflated data longer than the rectangle needs");
        return 0;
    }
    if (zs->avail_out == 0) {
        // Output full with every input byte taken: zlib may still hold more.
        uint8_t spare;
        zs->next_out = &spare;
        zs->avail_out = 1;
        const int more = ::inflate(zs, Z_SYNC_FLUSH);
        if (zs->avail_out == 0 || (more != Z_OK && more != Z_BUF_ERROR && more != Z_STREAM_END))
            fail(m_name, "inflated data longer than the rectangle needs");
    }
    return produced;
}

void Inflater::inflateExact(const uint8_t* in, size_t inLength, uint8_t* out, size_t size)
{
    if (inflate(in, inLength, out, size) != size)
        fail(m_name, "inflated data shorter than the rectangle needs");
}

} // namespace decode
