#include "core/tunnel/VoiceQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Packet(uint8_t type, size_t length, uint8_t fill)
{
    std::vector<uint8_t> p = {type, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    p.insert(p.end(), length, fill);
    return p;
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& packets)
{
    std::vector<uint8_t> all;
    for (const auto& p : packets)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A queue that never fills passes the stream through unchanged, however the
// frames cut it (here: at every split point, and byte by byte).
TEST(VoiceQueueTest, UnderTheBoundTheStreamPassesWholeAtEveryCut)
{
    std::vector<uint8_t> stream = Join({Packet(30, 5, 'a'), Packet(30, 0, 0), Packet(30, 300, 'b')});
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        VoiceQueue v(1 << 20);
        std::vector<uint8_t> q;
        v.Append(stream.data(), cut, q);
        v.Append(stream.data() + cut, stream.size() - cut, q);
        ASSERT_EQ(q, stream) << "cut at " << cut;
    }
    VoiceQueue v(1 << 20);
    std::vector<uint8_t> q;
    for (uint8_t b : stream)
        v.Append(&b, 1, q);
    EXPECT_EQ(q, stream);
    EXPECT_EQ(v.DroppedPackets(), 0u);
}

// A full queue drops whole packets, decided at each packet's header: what is
// queued is always a sequence of whole packets, and room made by the reader
// lets the next packets in again.
TEST(VoiceQueueTest, FullQueueDropsWholePacketsOnly)
{
    const auto a = Packet(30, 60, 'a'), b = Packet(30, 60, 'b'), c = Packet(30, 60, 'c');
    std::vector<uint8_t> stream = Join({a, b, c});
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        VoiceQueue v(100); // room for one 64-byte packet
        std::vector<uint8_t> q;
        v.Append(stream.data(), cut, q);
        v.Append(stream.data() + cut, stream.size() - cut, q);
        ASSERT_EQ(q, a) << "cut at " << cut;
        EXPECT_EQ(v.DroppedPackets(), 2u);
    }
    VoiceQueue v(100);
    std::vector<uint8_t> q;
    v.Append(a.data(), a.size(), q);
    v.Append(b.data(), 10, q); // b's header decided while the queue is full
    q.clear();                 // the reader catches up mid-packet
    v.Append(b.data() + 10, b.size() - 10, q);
    EXPECT_TRUE(q.empty()) << "the rest of a dropped packet must not leak in";
    v.Append(c.data(), c.size(), q);
    EXPECT_EQ(q, c);
}

} // namespace
