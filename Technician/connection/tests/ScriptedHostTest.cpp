// The viewer against a scripted host on a loopback pair: the start schedule,
// what comes before the reply, refused replies, closes and stalls at any
// point, stops while blocked in a send, a flood of updates, and whole
// messages from two sending threads.
#include "Technician/connection/SocketWriter.h"
#include "Technician/connection/ViewerError.h"
#include "Technician/connection/ViewerSession.h"
#include "Technician/connection/tests/HostPeer.h"
#include "Technician/connection/tests/ReaderFixture.h"
#include "rfb/tests/LoopbackPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace viewer::testing {
namespace {

using Clock = std::chrono::steady_clock;

// A fast schedule with the product's shape: six waits, five resends.
const OpenSchedule kFast{200, 5};

// Counts the start requests the host reads within ms.
int StartRequestsWithin(LoopbackPair& pair, int ms)
{
    int count = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (!pair.farReadable(20))
            continue;
        uint8_t b[2];
        if (!pair.receiveAtFar(b, 2, 1000))
            break;
        if (b[0] == 0x4A && b[1] == 1)
            ++count;
    }
    return count;
}

// The bytes of a whole opening after the reply, in order.
TEST(ScriptedHost, OpeningBytesAfterTheReply)
{
    LoopbackPair pair(LoopbackPair::Sends::AtOnce);
    CountingEvents events;
    ViewerSession session(pair.nearEnd(), events);
    std::thread host([&] {
        uint8_t b[2];
        ASSERT_TRUE(pair.receiveAtFar(b, 2, 3000));
        EXPECT_EQ(Bytes(b, b + 2), StartRequest());
        pair.sendFromFar(Reply());
    });
    ASSERT_EQ(session.open(ViewerOptions(), nullptr, kFast), nullptr);
    host.join();
    ClientFormat f;
    ClientFormatFor(1, rfb::PixelFormat(), f);
    for (const Bytes& want : {SetPixelFormatMessage(f), SetEncodingsMessage(EncodingList(ViewerOptions())),
                              UpdateRequestMessage(false, 32, 16)}) {
        Bytes got(want.size());
        ASSERT_TRUE(pair.receiveAtFar(got.data(), got.size(), 3000));
        EXPECT_EQ(got, want);
    }
    EXPECT_FALSE(pair.farReadable(200)) << "nothing more";
}

TEST(ScriptedHost, LateReplyAcceptedAfterTwoResends)
{
    LoopbackPair pair(LoopbackPair::Sends::AtOnce);
    CountingEvents events;
    ViewerSession session(pair.nearEnd(), events);
    std::thread host([&] {
        EXPECT_EQ(StartRequestsWithin(pair, 500), 3);
        pair.sendFromFar(Reply());
    });
    EXPECT_EQ(session.open(ViewerOptions(), nullptr, kFast), nullptr);
    host.join();
    EXPECT_EQ(session.startReply().width, 32);
}

TEST(ScriptedHost, SilenceFailsAfterSixRequests)
{
    LoopbackPair pair(LoopbackPair::Sends::AtOnce);
    CountingEvents events;
    ViewerSession session(pair.nearEnd(), events);
    int requests = 0;
    std::thread host([&] { requests = StartRequestsWithin(pair, 1600); });
    const auto start = Clock::now();
    EXPECT_STREQ(session.open(ViewerOptions(), nullptr, kFast), "no start reply");
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    host.join();
    EXPECT_EQ(requests, 6);
    EXPECT_GE(took, 1100);
    EXPECT_LT(took, 1600);
    EXPECT_FALSE(session.running());
}

TEST(ScriptedHost, WhatComesBeforeTheReply)
{
    struct Case {
        const char* name;
        Bytes before;      // sent before the viewer's request
        Bytes afterwards;  // sent in answer, before the reply
        bool accepted;
    } cases[] = {
        // A stale reply pending before the request is dropped, not taken.
        {"stale reply pending", Reply(99, 99), {}, true},
        {"an update of another type first", {}, {0, 0, 0, 0}, true},
        {"a 73 with another token first", {}, {73, 9, 0}, true},
    };
    for (const Case& c : cases) {
        LoopbackPair pair(LoopbackPair::Sends::AtOnce);
        pair.sendFromFar(c.before);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        CountingEvents events;
        ViewerSession session(pair.nearEnd(), events);
        std::thread host([&] {
            uint8_t b[2];
            ASSERT_TRUE(pair.receiveAtFar(b, 2, 3000));
            Bytes all = c.afterwards;
            const Bytes r = Reply();
            all.insert(all.end(), r.begin(), r.end());
            pair.sendFromFar(all);
        });
        const char* why = session.open(ViewerOptions(), nullptr, kFast);
        host.join();
        EXPECT_EQ(why == nullptr, c.accepted) << c.name;
        if (!why) {
            EXPECT_EQ(session.startReply().width, 32) << c.name;
        }
    }
}

// What an earlier session left on the socket: the rest of a whole update in
// full colour (megabytes, arriving in pieces) is dropped, pixels that look
// like a reply are skipped, and the reply after the request is taken; a host
// that sends without pause still ends the opening by its deadline.
TEST(ScriptedHost, LeftoversOfAnEarlierSession)
{
    Bytes lookalike = Reply(0, 0);
    lookalike.resize(40, 0x11);
    struct Case {
        const char* name;
        Bytes afterwards;  // sent in answer, before the reply
    } cases[] = {{"nothing", {}}, {"pixels that look like a reply", lookalike}};
    for (const Case& c : cases) {
        LoopbackPair pair(LoopbackPair::Sends::AtOnce);
        CountingEvents events;
        ViewerSession session(pair.nearEnd(), events);
        std::thread host([&] {
            // 1280 x 800 at 4 bytes a pixel, Raw, in four pieces.
            const Bytes quarter(1280 * 200 * 4, 0x11);
            for (int i = 0; i < 4; ++i) {
                pair.sendFromFar(quarter);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            uint8_t b[2];
            ASSERT_TRUE(pair.receiveAtFar(b, 2, 3000));
            Bytes all = c.afterwards;
            const Bytes r = Reply();
            all.insert(all.end(), r.begin(), r.end());
            pair.sendFromFar(all);
        });
        EXPECT_EQ(session.open(ViewerOptions(), nullptr, kFast), nullptr) << c.name;
        host.join();
        EXPECT_EQ(session.startReply().width, 32) << c.name;
    }
    LoopbackPair pair(LoopbackPair::Sends::AtOnce);
    CountingEvents events;
    ViewerSession session(pair.nearEnd(), events);
    std::atomic<bool> stop{false};
    std::thread host([&] {
        const Bytes chunk(64 * 1024, 0x11);
        while (!stop && pair.sendFromFar(chunk)) {
        }
    });
    const auto start = Clock::now();
    EXPECT_STREQ(session.open(ViewerOptions(), nullptr, kFast), "no start reply");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    stop = true;
    // Read what the host still sends so that its last send returns.
    int error = 0;
    uint8_t scratch[65536];
    while (rdr::socketcalls::waitReadable(pair.nearEnd(), 200, error) == rdr::socketcalls::Wait::Ready &&
           rdr::socketcalls::receive(pair.nearEnd(), scratch, sizeof scratch, error) > 0) {
    }
    host.join();
}

TEST(ScriptedHost, RefusedRepliesAndEarlyCloses)
{
    const Bytes full = Reply();
    struct Case {
        const char* name;
        Bytes reply;
        bool close;
        const char* why;
    } cases[] = {
        {"size 0", Reply(0, 0), false, "screen size out of range"},
        {"size 65535", Reply(65535, 65535), false, "screen size out of range"},
        {"bad pixel format", Reply(32, 16, {7, 7, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 2, 0, 0, 0}), false,
         "bad pixel format"},
        {"name length", [] { Bytes b = Reply(); b[27] = 4; return b; }(), false, "unexpected name"},
        {"close before the reply", {}, true, "the host closed the connection"},
        {"close after 1 byte", Bytes(full.begin(), full.begin() + 1), true, "the host closed the connection"},
        {"close after 2 bytes", Bytes(full.begin(), full.begin() + 2), true, "the host closed the connection"},
        {"close after 27 bytes", Bytes(full.begin(), full.begin() + 27), true, "the host closed the connection"},
    };
    for (const Case& c : cases) {
        LoopbackPair pair(LoopbackPair::Sends::AtOnce);
        CountingEvents events;
        ViewerSession session(pair.nearEnd(), events);
        std::thread host([&] {
            uint8_t b[2];
            ASSERT_TRUE(pair.receiveAtFar(b, 2, 3000));
            pair.sendFromFar(c.reply);
            if (c.close)
                pair.closeFar();
        });
        const auto start = Clock::now();
        const char* why = session.open(ViewerOptions(), nullptr, kFast);
        EXPECT_STREQ(why, c.why) << c.name;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << c.name;
        host.join();
        EXPECT_FALSE(session.running()) << c.name;
    }
}

// Opens a session on a scripted host that then sends `after`; returns the
// host's end for more.
struct OpenedOnScript {
    explicit OpenedOnScript(int w = 32, int h = 16)
    {
        std::thread host([&] {
            uint8_t b[2];
            pair.receiveAtFar(b, 2, 3000);
            pair.sendFromFar(Reply(w, h));
        });
        why = session.open(ViewerOptions(), [this](ViewerReader::End e, const std::string&) { end = e; ++ends; },
                           kFast);
        host.join();
    }
    // Reads what the opening sent after the reply: SetPixelFormat,
    // SetEncodings and a full update request.
    bool readOpening()
    {
        Bytes opening(kOpeningAfterReply);
        return pair.receiveAtFar(opening.data(), opening.size(), 3000);
    }
    static constexpr size_t kOpeningAfterReply = 20 + 4 + 18 * 4 + 10;

    LoopbackPair pair{LoopbackPair::Sends::AtOnce};
    CountingEvents events;
    ViewerSession session{pair.nearEnd(), events};
    const char* why = nullptr;
    std::atomic<int> ends{0};
    std::atomic<ViewerReader::End> end{ViewerReader::End::Stopped};
};

bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
    for (int t = 0; t < ms; t += 10) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

TEST(ScriptedHost, StopEndsAStallInsideARectangle)
{
    // Stalls at points through a Raw rectangle (512 bytes of 8-bit pixels
    // announced, 511 sent), stopped after varying waits, many times over.
    Script u;
    u.update(1).rect(0, 0, 32, 16, 0).fill(511, 0x11);
    for (int i = 0; i < 50; ++i) {
        OpenedOnScript s;
        ASSERT_EQ(s.why, nullptr);
        const size_t cut = 4 + static_cast<size_t>(i) * (u.bytes.size() - 4) / 50;
        s.pair.sendFromFar(Bytes(u.bytes.begin(), u.bytes.begin() + static_cast<long>(cut)));
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 5 == 0 ? 200 : 5 * (i % 5)));
        EXPECT_TRUE(s.session.running()) << i;
        // Painting is never held up by the stalled read.
        { decode::Framebuffer::View v = s.session.framebuffer()->view(); }
        const auto start = Clock::now();
        s.session.stop();
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500)) << i;
        EXPECT_FALSE(s.session.running()) << i;
        EXPECT_EQ(s.ends.load(), 1) << i;
        EXPECT_EQ(s.end.load(), ViewerReader::End::Stopped) << i;
    }
}

// Waits until the session's byte count stays still for ms: its sends block.
bool SendsBlocked(ViewerSession& session, int ms = 300)
{
    uint64_t last = session.bytesSent();
    for (int still = 0, t = 0; t < 10000; t += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const uint64_t now = session.bytesSent();
        still = now == last ? still + 20 : 0;
        last = now;
        if (still >= ms)
            return true;
    }
    return false;
}

TEST(ScriptedHost, StopWhileBlockedInASend)
{
    // A host that never reads, with small socket buffers: each message 4
    // makes the reader send four messages until its send blocks, while a
    // second thread (the window's update requests) waits for the write lock.
    OpenedOnScript s;
    ASSERT_EQ(s.why, nullptr);
    s.pair.shrinkBuffers();
    Script resizes;
    for (int i = 0; i < 2000; ++i)
        resizes.u8(4).u8(0).u16(32).u16(16);
    s.pair.sendFromFar(resizes.bytes);
    std::atomic<bool> requestEnded{false};
    std::string requestWhy;
    std::thread window([&] {
        try {
            for (;;)
                s.session.writer()->send(UpdateRequestMessage(true, 32, 16));
        } catch (const Stopped&) {
            requestWhy = "stopped";
        } catch (const rdr::Exception& e) {
            requestWhy = e.str();
        }
        requestEnded.store(true);
    });
    ASSERT_TRUE(SendsBlocked(s.session));
    EXPECT_TRUE(s.session.running());
    EXPECT_FALSE(requestEnded.load());
    const auto start = Clock::now();
    s.session.stop();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_FALSE(s.session.running());
    EXPECT_EQ(s.ends.load(), 1);
    EXPECT_EQ(s.end.load(), ViewerReader::End::Stopped);
    ASSERT_TRUE(WaitFor([&] { return requestEnded.load(); }, 1000)) << "the waiting sender gave up on the stop";
    window.join();
    EXPECT_EQ(requestWhy, "stopped");
}

TEST(ScriptedHost, BlockedSendTimesOut)
{
    LoopbackPair pair(LoopbackPair::Sends::AtOnce);
    pair.shrinkBuffers();
    StopFlag stop;
    SocketWriter writer(pair.nearEnd(), stop, 300);
    const auto start = Clock::now();
    try {
        for (;;)
            writer.send(Bytes(4096, 0x33));
    } catch (const QuietException& e) {
        EXPECT_STREQ(e.message(), "Send timed out");
    }
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST(ScriptedHost, CloseAtEveryByteOfAnUpdateEndsCleanly)
{
    Script u;
    u.update(2).rect(0, 0, 2, 2, 0).fill(16, 0x22).rect(1, 1, 1, 1, 5).u8(1).fill(4, 0x33);
    for (size_t k = 0; k <= u.bytes.size(); ++k) {
        OpenedOnScript s;
        ASSERT_EQ(s.why, nullptr);
        s.pair.sendFromFar(Bytes(u.bytes.begin(), u.bytes.begin() + static_cast<long>(k)));
        s.pair.closeFar();
        ASSERT_TRUE(WaitFor([&] { return s.ends.load() == 1; })) << k;
        EXPECT_EQ(s.end.load(), ViewerReader::End::Failed) << k;
    }
}

TEST(ScriptedHost, HostsDisconnectEndsTheReader)
{
    OpenedOnScript s;
    ASSERT_EQ(s.why, nullptr);
    s.pair.sendFromFar(Bytes{13, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_TRUE(WaitFor([&] { return s.ends.load() == 1; }));
    EXPECT_EQ(s.end.load(), ViewerReader::End::Disconnected);
}

TEST(ScriptedHost, FloodOfUpdatesThenStop)
{
    OpenedOnScript s(64, 64);
    ASSERT_EQ(s.why, nullptr);
    std::atomic<bool> flooding{true};
    std::thread host([&] {
        Script u;
        u.update(1).rect(0, 0, 64, 64, 0).fill(64 * 64, 0x3F);
        while (flooding.load() && s.pair.sendFromFar(u.bytes)) {
        }
    });
    ASSERT_TRUE(WaitFor([&] { return s.events.updates.load() > 50; }));
    s.session.stop();
    flooding.store(false);
    // The host may sit in a full send: read it dry so it sees the flag.
    StopFlag never;
    SliceInStream rest(s.pair.nearEnd(), never);
    while (rest.dropAvailable(50) > 0) {
    }
    host.join();
    EXPECT_EQ(s.end.load(), ViewerReader::End::Stopped);
}

TEST(ScriptedHost, TwoSendingThreadsSendWholeMessages)
{
    OpenedOnScript s;
    ASSERT_EQ(s.why, nullptr);
    ASSERT_TRUE(s.readOpening());
    const uint64_t before = s.session.bytesSent();
    EXPECT_EQ(before, 2 + OpenedOnScript::kOpeningAfterReply);
    const Bytes a = SetEncodingsMessage(EncodingList(ViewerOptions()));
    const Bytes b = UpdateRequestMessage(true, 32, 16);
    constexpr int kEach = 300;
    auto sender = [&](const Bytes& m) {
        for (int i = 0; i < kEach; ++i)
            s.session.writer()->send(m);
    };
    std::thread t1(sender, a), t2(sender, b);
    int seenA = 0, seenB = 0;
    for (int i = 0; i < 2 * kEach; ++i) {
        uint8_t type = 0;
        ASSERT_TRUE(s.pair.receiveAtFar(&type, 1, 3000));
        const Bytes& want = type == a[0] ? a : b;
        Bytes rest(want.size() - 1);
        ASSERT_TRUE(s.pair.receiveAtFar(rest.data(), rest.size(), 3000));
        ASSERT_EQ(rest, Bytes(want.begin() + 1, want.end())) << "message " << i << " was split";
        (type == a[0] ? seenA : seenB)++;
    }
    t1.join();
    t2.join();
    EXPECT_EQ(seenA, kEach);
    EXPECT_EQ(seenB, kEach);
    EXPECT_EQ(s.session.bytesSent(), before + kEach * (a.size() + b.size()));
}

TEST(ScriptedHost, WindowRequestsRaceTheReadersResendsAfterANewSize)
{
    // The reader answers each message 4 with a full request, SetPixelFormat,
    // SetEncodings and a full request, while another thread sends
    // incremental requests as the window does: the host sees whole messages.
    OpenedOnScript s;
    ASSERT_EQ(s.why, nullptr);
    ASSERT_TRUE(s.readOpening());
    const uint64_t before = s.session.bytesSent();
    const Bytes format = SetPixelFormatMessage(s.session.clientFormat());
    const Bytes encodings = SetEncodingsMessage(EncodingList(ViewerOptions()));
    const Bytes full = UpdateRequestMessage(false, 32, 16);
    const Bytes incremental = UpdateRequestMessage(true, 32, 16);
    constexpr int kResizes = 200, kRequests = 600;
    std::thread window([&] {
        for (int i = 0; i < kRequests; ++i)
            s.session.writer()->send(incremental);
    });
    Script resizes;
    for (int i = 0; i < kResizes; ++i)
        resizes.u8(4).u8(0).u16(32).u16(16);
    s.pair.sendFromFar(resizes.bytes);
    int formats = 0, encodingLists = 0, fulls = 0, incrementals = 0;
    for (int i = 0; i < kResizes * 4 + kRequests; ++i) {
        uint8_t type = 0;
        ASSERT_TRUE(s.pair.receiveAtFar(&type, 1, 3000)) << i;
        const Bytes& want = type == format[0] ? format : type == encodings[0] ? encodings : full;
        Bytes got(want.size());
        got[0] = type;
        ASSERT_TRUE(s.pair.receiveAtFar(got.data() + 1, got.size() - 1, 3000)) << i;
        if (got == format)
            ++formats;
        else if (got == encodings)
            ++encodingLists;
        else if (got == full)
            ++fulls;
        else if (got == incremental)
            ++incrementals;
        else
            FAIL() << "message " << i << " was split";
    }
    window.join();
    EXPECT_EQ(formats, kResizes);
    EXPECT_EQ(encodingLists, kResizes);
    EXPECT_EQ(fulls, 2 * kResizes);
    EXPECT_EQ(incrementals, kRequests);
    EXPECT_FALSE(s.pair.farReadable(100)) << "nothing more";
    EXPECT_EQ(s.session.bytesSent(),
              before + kResizes * (format.size() + encodings.size() + 2 * full.size()) + kRequests * incremental.size());
    EXPECT_TRUE(s.session.running());
}

} // namespace
} // namespace viewer::testing
