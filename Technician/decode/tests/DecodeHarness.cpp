#include "Technician/decode/tests/DecodeHarness.h"

#include "rfb/MemInStream.h"

#include <cstdio>
#include <cstring>

namespace testdecode {

Viewer::Viewer(const rfb::PixelFormat& pf, int w, int h)
    : fb(w, h),
      session(fb, pf, decode::DecodeLog([this](decode::LogLevel, const char* line) {
                  (std::strstr(line, "bufsize expanded to ") ? growth : log).push_back(line);
              }))
{
}

decode::RectHeader ReadHeader(rdr::InStream& in)
{
    decode::RectHeader h;
    h.x = in.readU16();
    h.y = in.readU16();
    h.w = in.readU16();
    h.h = in.readU16();
    h.encoding = in.readS32();
    return h;
}

std::vector<decode::RectResult> Viewer::decodeAll(const Bytes& bytes)
{
    rdr::MemInStream in(bytes.data(), bytes.size());
    std::vector<decode::RectResult> results;
    while (in.remaining() > 0)
        results.push_back(session.decode(in, ReadHeader(in), changed));
    return results;
}

decode::RectResult Viewer::decodeOne(const Bytes& bytes)
{
    rdr::MemInStream in(bytes.data(), bytes.size());
    const decode::RectResult r = session.decode(in, ReadHeader(in), changed);
    if (in.remaining() != 0)
        throw std::runtime_error("rectangle left " + std::to_string(in.remaining()) + " bytes unread");
    return r;
}

namespace {

::testing::AssertionResult compare(Viewer& v, const rfb::Rect& r, const std::function<uint32_t(int, int)>& want)
{
    int bad = 0;
    char first[160] = "";
    const decode::Framebuffer::View view = v.fb.view();
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (view.pixel(x, y) != want(x, y) && bad++ == 0)
                std::snprintf(first, sizeof first, "first at %d,%d: 0x%06x, want 0x%06x", x, y, view.pixel(x, y),
                              want(x, y));
    if (bad == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bad << " pixels differ; " << first;
}

} // namespace

::testing::AssertionResult Shows(Viewer& v, const ClientImage& img, const rfb::Rect& r)
{
    return compare(v, r, [&](int x, int y) { return Rule1(img.at(x, y), img.pf); });
}

::testing::AssertionResult ShowsColour(Viewer& v, uint32_t colour, const rfb::Rect& r)
{
    return compare(v, r, [&](int, int) { return colour; });
}

} // namespace testdecode
