#include "core/tunnel/FrameReassembler.h"
#include "core/tunnel/TunnelFrame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(uint16_t tag, size_t length, uint8_t seed)
{
    Bytes f(kTunnelFrameHeaderSize + length);
    EncodeTunnelFrameHeader(tag, static_cast<uint16_t>(length), f.data());
    for (size_t i = 0; i < length; ++i)
        f[4 + i] = static_cast<uint8_t>(seed + i * 31);
    return f;
}

struct Recorder : FrameSink {
    std::vector<uint16_t> tags;
    std::vector<Bytes> frames;
    uint16_t refuse = 0;
    int failAfter = -1;
    bool AcceptsTag(uint16_t tag) override { return tag != refuse; }
    bool Deliver(uint16_t tag, const uint8_t* data, size_t n) override
    {
        if (failAfter == 0)
            return false;
        --failAfter;
        tags.push_back(tag);
        frames.emplace_back(data, data + n);
        return true;
    }
};

TEST(TunnelFrame, HeaderIsBigEndian)
{
    uint8_t h[4];
    EncodeTunnelFrameHeader(TAG_CONTROL, 0x1234, h);
    EXPECT_EQ(Bytes(h, h + 4), (Bytes{0xAA, 0xBB, 0x12, 0x34}));
    TunnelFrameHeader d = DecodeTunnelFrameHeader(h);
    EXPECT_EQ(d.tag, TAG_CONTROL);
    EXPECT_EQ(d.length, 0x1234);
}

TEST(TunnelFrame, TagsReachTheirChannelOnlyOnTheirTunnel)
{
    struct Case { TunnelKind kind; uint16_t tag; bool routed; LocalChannel channel; };
    const Case cases[] = {
        {TunnelKind::Control, TAG_CONTROL, true, LocalChannel::Control},
        {TunnelKind::Control, TAG_CANVAS, true, LocalChannel::Canvas},
        {TunnelKind::Control, TAG_AUDIO, true, LocalChannel::Audio},
        {TunnelKind::Control, TAG_CHAT, true, LocalChannel::Chat},
        {TunnelKind::Control, TAG_FILE_SHARE, true, LocalChannel::FileShare},
        {TunnelKind::Control, TAG_SPARE, false, LocalChannel::Chat},
        {TunnelKind::Control, TAG_SHARING, false, LocalChannel::Chat},
        {TunnelKind::Control, 0x1234, false, LocalChannel::Chat},
        {TunnelKind::Sharing, TAG_SHARING, true, LocalChannel::Sharing},
        {TunnelKind::Sharing, TAG_SPARE, false, LocalChannel::Chat},
        {TunnelKind::Sharing, TAG_CONTROL, false, LocalChannel::Chat},
    };
    for (const Case& c : cases) {
        LocalChannel ch = LocalChannel::Chat;
        EXPECT_EQ(ChannelForTag(c.kind, c.tag, ch), c.routed) << std::hex << c.tag;
        if (c.routed) {
            EXPECT_EQ(ch, c.channel);
            EXPECT_EQ(TagForChannel(ch), c.tag);
        }
    }
}

// A large read of a channel is framed exactly as successive reads of the
// channel's read size would have framed it; the reassembler gets it back.
TEST(TunnelFrame, ChannelBytesBecomeFramesOfAtMostTheReadSize)
{
    struct Case { size_t length; size_t maxData; std::vector<size_t> pieces; };
    const Case cases[] = {
        {1, 8192, {1}},
        {8192, 8192, {8192}},
        {8193, 8192, {8192, 1}},
        {10000, 8192, {8192, 1808}},
        {3 * 1456 + 7, 1456, {1456, 1456, 1456, 7}},
        {70000, 0xFFFF, {0xFFFF, 70000 - 0xFFFF}},
    };
    for (const Case& c : cases) {
        Bytes data(c.length);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(i * 7 + 3);
        Bytes out = {0x55}; // appended behind what is there
        AppendTunnelFrames(TAG_CONTROL, data.data(), data.size(), c.maxData, out);
        ASSERT_EQ(out[0], 0x55);
        FrameReassembler r;
        Recorder rec;
        ASSERT_EQ(r.Feed(out.data() + 1, out.size() - 1, rec), FrameReassembler::Result::Continue);
        EXPECT_EQ(r.HeldBytes(), 0u) << c.length;
        std::vector<size_t> sizes;
        Bytes joined;
        for (const Bytes& f : rec.frames) {
            sizes.push_back(f.size());
            joined.insert(joined.end(), f.begin(), f.end());
        }
        EXPECT_EQ(sizes, c.pieces) << c.length;
        EXPECT_EQ(joined, data) << c.length;
        EXPECT_EQ(rec.tags, std::vector<uint16_t>(c.pieces.size(), TAG_CONTROL));
    }
}

// Frame data follows a table so frames are made and checked with memcpy and
// memcmp: every length up to 65535 goes through, about 2 GB in all.
const Bytes& PatternTable()
{
    static const Bytes t = [] {
        Bytes v(0x10000 + 256);
        for (size_t i = 0; i < v.size(); ++i)
            v[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
        return v;
    }();
    return t;
}

struct PatternChecker : FrameSink {
    size_t nextLength = 1; // zero-length frames deliver nothing
    size_t delivered = 0;
    bool ok = true;
    bool AcceptsTag(uint16_t tag) override { return tag == TAG_CANVAS || tag == TAG_CONTROL; }
    bool Deliver(uint16_t tag, const uint8_t* data, size_t n) override
    {
        uint16_t expectTag = nextLength % 2 ? TAG_CONTROL : TAG_CANVAS;
        if (n != nextLength || tag != expectTag ||
            std::memcmp(data, PatternTable().data() + (n & 0xFF), n) != 0)
            ok = false;
        ++nextLength;
        ++delivered;
        return true;
    }
};

// Frames are grouped for TLS records without a record ending inside a frame.
TEST(TunnelFrame, RecordsTakeOnlyWholeFrames)
{
    Bytes frames;
    for (size_t n : {8192u, 8192u, 1456u, 1456u, 100u})
        AppendTunnelFrames(TAG_CONTROL, PatternTable().data(), n, 0xFFFF, frames);
    Bytes empty = Frame(TAG_CONTROL, 0, 0);
    frames.insert(frames.end(), empty.begin(), empty.end());
    const size_t f8 = 4 + 8192, f1 = 4 + 1456, small = 4 + 100;
    struct Case { size_t at; size_t limit; size_t expect; };
    const Case cases[] = {
        {0, 16384, f8},                      // two 8 KB frames exceed one record
        {0, f8, f8},                         // exactly one
        {0, 100, f8},                        // a first frame longer than the limit goes whole
        {f8, 16384, f8 + 2 * f1 + small + 4}, // an 8 KB frame and the small ones behind it
        {f8, f8 + f1 + 10, f8 + f1},
        {2 * f8, 16384, 2 * f1 + small + 4}, // all the small ones, the empty frame too
        {2 * f8, 2 * f1 + small, 2 * f1 + small},
        {2 * f8, 2 * f1 + small + 3, 2 * f1 + small},
        {2 * f8 + 2 * f1 + small, 16384, 4}, // a zero-length frame
    };
    for (const Case& c : cases)
        EXPECT_EQ(WholeFramesWithin(frames.data() + c.at, frames.size() - c.at, c.limit), c.expect)
            << c.at << " " << c.limit;
    // Bytes that do not make a whole frame go as they are.
    EXPECT_EQ(WholeFramesWithin(frames.data(), 3, 16384), 3u);
    EXPECT_EQ(WholeFramesWithin(frames.data(), 100, 16384), 100u);
}

TEST(FrameReassembler, EveryLengthUpTo65535SurvivesRandomCuts)
{
    FrameReassembler r;
    PatternChecker check;
    Bytes pending;
    uint32_t rng = 12345;
    auto flush = [&](bool all) {
        size_t at = 0;
        while (pending.size() - at > (all ? 0 : 20000)) {
            rng = rng * 1103515245u + 12345u;
            // Mostly mid-sized receives, sometimes 1-3 bytes to land inside headers.
            size_t n = (rng >> 16) % 8 == 0 ? 1 + (rng >> 8) % 3 : 1 + (rng >> 8) % 10240;
            n = std::min(n, pending.size() - at);
            ASSERT_EQ(r.Feed(pending.data() + at, n, check), FrameReassembler::Result::Continue);
            at += n;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(at));
    };
    for (size_t len = 0; len <= 0xFFFF; ++len) {
        uint8_t h[4];
        EncodeTunnelFrameHeader(len % 2 ? TAG_CONTROL : TAG_CANVAS, static_cast<uint16_t>(len), h);
        pending.insert(pending.end(), h, h + 4);
        const uint8_t* p = PatternTable().data() + (len & 0xFF);
        pending.insert(pending.end(), p, p + len);
        if (pending.size() > 200000)
            flush(false);
    }
    flush(true);
    EXPECT_TRUE(check.ok);
    EXPECT_EQ(check.delivered, 0xFFFFu);
    EXPECT_EQ(r.HeldBytes(), 0u);
}

TEST(FrameReassembler, SplitInsideHeaderAtEveryByte)
{
    Bytes stream = Frame(TAG_CHAT, 9, 1);
    Bytes b = Frame(TAG_CONTROL, 70, 2);
    stream.insert(stream.end(), b.begin(), b.end());
    for (size_t cut1 = 0; cut1 <= stream.size(); ++cut1) {
        for (size_t cut2 = cut1; cut2 <= stream.size(); ++cut2) {
            FrameReassembler r;
            Recorder rec;
            r.Feed(stream.data(), cut1, rec);
            r.Feed(stream.data() + cut1, cut2 - cut1, rec);
            r.Feed(stream.data() + cut2, stream.size() - cut2, rec);
            ASSERT_EQ(rec.tags, (std::vector<uint16_t>{TAG_CHAT, TAG_CONTROL}));
            EXPECT_EQ(rec.frames[1].size(), 70u);
        }
    }
}

TEST(FrameReassembler, UnknownTagStopsAtItsHeaderAndStaysStopped)
{
    Bytes stream = Frame(TAG_CONTROL, 3, 1);
    Bytes spare = Frame(TAG_SPARE, 5, 2);
    Bytes after = Frame(TAG_CONTROL, 3, 3);
    stream.insert(stream.end(), spare.begin(), spare.begin() + 4); // only its header
    FrameReassembler r;
    Recorder rec;
    rec.refuse = TAG_SPARE;
    EXPECT_EQ(r.Feed(stream.data(), stream.size(), rec), FrameReassembler::Result::UnknownTag);
    EXPECT_EQ(r.Feed(after.data(), after.size(), rec), FrameReassembler::Result::UnknownTag);
    EXPECT_EQ(rec.frames.size(), 1u);
}

TEST(FrameReassembler, FailedDeliveryStops)
{
    Bytes stream = Frame(TAG_CONTROL, 3, 1);
    FrameReassembler r;
    Recorder rec;
    rec.failAfter = 0;
    EXPECT_EQ(r.Feed(stream.data(), stream.size(), rec), FrameReassembler::Result::SinkFailed);
}

} // namespace
