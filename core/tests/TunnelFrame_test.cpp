#include "core/FrameReassembler.h"
#include "core/TunnelFrame.h"

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
