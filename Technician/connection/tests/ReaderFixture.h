// A reader on scripted server bytes: a memory stream, a writer and events
// that record, the decoders' framebuffer, and builders of server messages.
#pragma once

#include "Technician/connection/ViewerReader.h"
#include "rfb/MemInStream.h"

#include <string>
#include <vector>

namespace viewer::testing {

class RecordingWriter : public MessageWriter {
public:
    void send(const Bytes& m) override { sent.push_back(m); }
    std::vector<Bytes> sent;
};

class RecordingEvents : public ViewerEvents {
public:
    void areaChanged(const rfb::Rect& r) override { changed.push_back(r); }
    void updateEnded() override { ++updatesEnded; }
    void framebufferResized() override { ++resized; }
    void sizeReported() override { ++sizeEvents; }
    void cursorChanged() override { ++cursorEvents; }
    void inputDesktopLost() override { ++lost; }
    void inputDesktopRestored() override { ++restored; }
    void clipboardReceived(std::string text) override { clipboard.push_back(std::move(text)); }

    std::vector<rfb::Rect> changed;
    std::vector<std::string> clipboard;
    int updatesEnded = 0, resized = 0, sizeEvents = 0, cursorEvents = 0, lost = 0, restored = 0;
};

// Server message bytes, big-endian.
class Script {
public:
    Script& u8(unsigned v)
    {
        bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Script& u16(unsigned v) { return u8(v >> 8).u8(v & 0xFF); }
    Script& u32(uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
    Script& raw(const Bytes& b)
    {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    Script& fill(size_t n, uint8_t v)
    {
        bytes.insert(bytes.end(), n, v);
        return *this;
    }
    Script& update(unsigned count) { return u8(0).u8(0).u16(count); }
    Script& rect(int x, int y, int w, int h, int32_t enc)
    {
        return u16(x).u16(y).u16(w).u16(h).u32(static_cast<uint32_t>(enc));
    }
    Bytes bytes;
};

// The host's start reply: w x h, its pixel format (by default 32 bits,
// depth 24, little-endian true colour 0x00RRGGBB), no name.
inline Bytes Reply(int w = 32, int h = 16, Bytes format = {32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0})
{
    Script s;
    s.u8(73).u8(1).u16(w).u16(h).raw(format).u16(0).u32(0);
    return s.bytes;
}

// A reader over a finished script; the drain drops what the stream holds,
// except the last arrivesLater bytes (a message the host sends after the drain).
struct ScriptedReader {
    explicit ScriptedReader(const Bytes& bytes, int colourDepth = 1, int w = 16, int h = 16,
                            ViewerOptions options = ViewerOptions())
        : data(bytes), in(data.data(), data.size()), fb(w, h)
    {
        ClientFormatFor(colourDepth, rfb::PixelFormat(), format);
        reader.reset(new ViewerReader(in, writer, events, fb, format, options, [this](int) -> long {
            ++drains;
            const size_t held = in.remaining();
            const long n = static_cast<long>(held > arrivesLater ? held - arrivesLater : 0);
            in.skip(static_cast<size_t>(n));
            return n;
        }, decode::DecodeLog([this](decode::LogLevel, const char* line) { log.push_back(line); })));
        reader->setResyncWaitMs(0);
    }
    bool logged(const std::string& text) const
    {
        for (const std::string& l : log)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }

    Bytes data;
    rdr::MemInStream in;
    decode::Framebuffer fb;
    ClientFormat format;
    RecordingWriter writer;
    RecordingEvents events;
    std::vector<std::string> log;
    int drains = 0;
    size_t arrivesLater = 0;
    std::unique_ptr<ViewerReader> reader;
};

} // namespace viewer::testing
