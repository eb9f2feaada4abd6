// Fuzz target for the reader: byte 0 picks the colour-depth row (against a
// 32-bit host), bit 0 of byte 1 turns the cache encoding on; the rest are
// server messages read into a 48 x 40 framebuffer until the bytes end or the
// viewing ends. Every changed area must lie inside the framebuffer.
#include "Technician/connection/ViewerReader.h"
#include "rfb/MemInStream.h"
#include "rfb/tests/TestFormats.h"

#include <cstdlib>

namespace {

class Writer : public viewer::MessageWriter {
public:
    void send(const viewer::Bytes&) override {}
};

class Events : public viewer::ViewerEvents {
public:
    explicit Events(decode::Framebuffer& fb) : m_fb(fb) {}
    void areaChanged(const rfb::Rect& r) override
    {
        if (r.is_empty() || r.left < 0 || r.top < 0 || r.right > m_fb.width() || r.bottom > m_fb.height())
            std::abort();
    }
    void updateEnded() override {}
    void framebufferResized() override {}
    void sizeReported() override {}
    void cursorChanged() override {}
    void inputDesktopLost() override {}
    void inputDesktopRestored() override {}

private:
    decode::Framebuffer& m_fb;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    viewer::ClientFormat format;
    const rfb::PixelFormat host = testformats::Make(32, 24, false, true, 255, 255, 255, 16, 8, 0);
    if (!viewer::ClientFormatFor(data[0] % 8, host, format))
        return 0;
    viewer::ViewerOptions options;
    options.colourDepth = data[0] % 8;
    options.cacheEncoding = (data[1] & 1) != 0;
    rdr::MemInStream in(data + 2, size - 2);
    decode::Framebuffer fb(48, 40);
    Writer writer;
    Events events(fb);
    try {
        viewer::ViewerReader reader(in, writer, events, fb, format, options, [&in](int) -> long {
            const long n = static_cast<long>(in.remaining());
            in.skip(static_cast<size_t>(n));
            return n;
        });
        reader.setResyncWaitMs(0);
        viewer::StopFlag stop;
        reader.run(stop);
        const viewer::DrawnCursor c = reader.cursor();
        if (c.hasShape && (c.shape.width > viewer::kMaxCursorSide || c.shape.height > viewer::kMaxCursorSide ||
                           c.shape.colours.size() != static_cast<size_t>(c.shape.width) * c.shape.height))
            std::abort();
    } catch (const rdr::Exception&) {
        // A format the decoders refuse.
    }
    return 0;
}
