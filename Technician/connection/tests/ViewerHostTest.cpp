// The viewer against our host over loopback: the picture equals the host's
// frame translated and coloured, pixel for pixel, after the first update,
// after changes and after a window move; sessions open and stop again and
// again on the same socket; the host's streams replay offline.
#include "Technician/connection/tests/HostPeer.h"
#include "Technician/connection/tests/ReaderFixture.h"
#include "rfb/tests/LoopbackPair.h"

#include <omnithread.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace viewer::testing {
namespace {

constexpr int kW = 160;
constexpr int kH = 100;

struct EncodingCase {
    const char* name;
    int preferred;
    bool rawOnly;
};

ViewerOptions OptionsFor(const EncodingCase& e, int colourDepth)
{
    ViewerOptions o;
    o.colourDepth = colourDepth;
    o.preferredEncoding = e.preferred;
    if (e.rawOnly)
        for (int i = 2; i <= 16; ++i)
            o.useEncoding[i] = false;
    return o;
}

const EncodingCase kEncodings[] = {{"ZRLE", 16, false}, {"Hextile", 5, false}, {"Raw", 0, true}};

class ViewerOnHost : public ::testing::TestWithParam<std::tuple<EncodingCase, int>> {};

TEST_P(ViewerOnHost, PictureEqualsTheHostFrame)
{
    const EncodingCase& e = std::get<0>(GetParam());
    const int depth = std::get<1>(GetParam());
    HostPeer host(kW, kH);
    CountingEvents events;
    ViewerSession session(host.viewerSocket(), events);
    std::atomic<int> ended{0};
    ASSERT_EQ(session.open(OptionsFor(e, depth), [&](ViewerReader::End, const std::string&) { ++ended; }), nullptr);
    EXPECT_EQ(session.startReply().width, kW);
    const rfb::PixelFormat pf = session.clientFormat().pf;
    EXPECT_EQ(pf.bitsPerPixel, depth == 1 ? 8 : 32);
    EXPECT_EQ(host.waitShown(*session.framebuffer(), pf), 0) << "first update";

    // A changed area.
    testframes::Frame changed = host.desktop().screen.frame();
    for (int y = 30; y < 60; ++y)
        for (int x = 20; x < 90; ++x)
            changed.setPixel(x, y, 0x00FF8040u + static_cast<uint32_t>(x * 3));
    host.desktop().screen.Paint(changed);
    EXPECT_EQ(host.waitShown(*session.framebuffer(), pf), 0) << "changes";

    // A window move: the host sends a copy.
    testframes::Frame moved = host.desktop().screen.frame();
    const testframes::Frame before = moved;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            moved.setPixel(60 + x, 50 + y, before.pixel(10 + x, 10 + y));
    {
        // The host's pump polls the desktop meanwhile, under this lock.
        omni_mutex_lock hold(host.desktop().Buffer().UpdateLock());
        host.desktop().copyDest = rfb::Rect(60, 50, 100, 90);
        host.desktop().copyDelta = rfb::Point(-50, -40);
        host.desktop().pendingCopy = true;
        host.desktop().screen.Paint(moved);
    }
    EXPECT_EQ(host.waitShown(*session.framebuffer(), pf), 0) << "window move";

    EXPECT_TRUE(session.running());
    session.stop();
    EXPECT_FALSE(session.running());
    EXPECT_EQ(ended.load(), 1);
    EXPECT_EQ(session.framebuffer(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Encodings, ViewerOnHost,
                         ::testing::Combine(::testing::ValuesIn(kEncodings),
                                            ::testing::Values(1, 0)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_depth" +
                                    std::to_string(std::get<1>(info.param));
                         });

// Regression: the host's pump sent the first picture before the viewer
// opened; the opening dropped it and a still screen never showed.
TEST(ViewerOnHostLifecycle, StillScreenShownWhenTheHostPumpedFirst)
{
    HostPeer host(kW, kH);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    CountingEvents events;
    ViewerSession session(host.viewerSocket(), events);
    ASSERT_EQ(session.open(ViewerOptions(), nullptr), nullptr);
    EXPECT_EQ(host.waitShown(*session.framebuffer(), session.clientFormat().pf, 3000), 0);
}

// The core's pause: stop() ends the reader, the picture is dropped, and a
// later open() on the same socket shows the picture again.
TEST(ViewerOnHostLifecycle, PauseAndResumeThreeTimes)
{
    HostPeer host(kW, kH);
    CountingEvents events;
    ViewerSession session(host.viewerSocket(), events);
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(session.open(ViewerOptions(), nullptr), nullptr) << cycle;
        EXPECT_EQ(host.waitShown(*session.framebuffer(), session.clientFormat().pf), 0) << cycle;
        session.stop();
        EXPECT_EQ(session.framebuffer(), nullptr);
        // The presenter's side starts a new server for the resumed session.
        host.restart();
    }
}

// Stopping while the reader is busy never leaves a thread or touches freed
// memory (the sanitizers watch); the session object goes right after.
TEST(ViewerOnHostLifecycle, StopWhileReadingManyTimes)
{
    HostPeer host(kW, kH);
    CountingEvents events;
    for (int cycle = 0; cycle < 200; ++cycle) {
        auto session = std::make_unique<ViewerSession>(host.viewerSocket(), events);
        ASSERT_EQ(session->open(ViewerOptions(), nullptr), nullptr) << cycle;
        if (cycle % 4 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 8));
        session.reset();
    }
}

TEST(ViewerOnHostLifecycle, CursorShapeFromTheHostNeverInThePicture)
{
    HostPeer host(kW, kH);
    CountingEvents events;
    ViewerSession session(host.viewerSocket(), events);
    ASSERT_EQ(session.open(ViewerOptions(), nullptr), nullptr);
    EXPECT_EQ(host.waitShown(*session.framebuffer(), session.clientFormat().pf), 0);
    // A new shape comes with the next update.
    {
        omni_mutex_lock hold(host.desktop().Buffer().UpdateLock());
        host.desktop().cursor.width = 4;
        host.desktop().cursor.height = 2;
        host.desktop().cursor.hotX = 1;
        host.desktop().cursor.mask.assign(2, 0xF0);
        host.desktop().cursor.source.assign(2, 0xA0);
        host.desktop().cursor.pixels.assign(4 * 2 * 4, 0x55);
        host.desktop().Buffer().SetCursorShapeChanged();
    }
    testframes::Frame changed = host.desktop().screen.frame();
    changed.setPixel(5, 5, 0x00123456u);
    host.desktop().screen.Paint(changed);
    for (int t = 0; t < 400 && !session.reader()->cursor().hasShape; ++t)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const DrawnCursor c = session.reader()->cursor();
    ASSERT_TRUE(c.hasShape);
    EXPECT_EQ(c.shape.width, 4);
    EXPECT_EQ(c.shape.hotX, 1);
    // XCursor: the host's black source bits over white.
    EXPECT_EQ(c.shape.colours[0], 0x000000u);
    EXPECT_EQ(c.shape.colours[1], 0xFFFFFFu);
    EXPECT_TRUE(c.shape.drawnAt(3, 1));
    EXPECT_EQ(host.waitShown(*session.framebuffer(), session.clientFormat().pf), 0);
}

// Our host's own streams, as the viewer receives them after the start
// reply, replay offline to the host's frame: the fuzz target's seeds. With
// CORVISK_READER_SEEDS set to a folder, each stream is written there with the
// target's two leading bytes (colour-depth row, cache flag off).
TEST(ReaderSeeds, OurHostsStreamsReplayToItsFrame)
{
    constexpr int kSeedW = 48, kSeedH = 40;  // the fuzz target's framebuffer
    const char* folder = std::getenv("CORVISK_READER_SEEDS");
    for (const EncodingCase& e : kEncodings) {
        for (int depth : {1, 0}) {
            const std::string name = std::string("host_") + e.name + "_depth" + std::to_string(depth);
            HostPeer host(kSeedW, kSeedH);
            LoopbackPair& pair = host.pair;
            ASSERT_TRUE(pair.sendFromFar(StartRequest())) << name;
            Bytes reply(kStartReplyLength);
            ASSERT_TRUE(pair.receiveAtFar(reply.data(), reply.size(), 3000)) << name;
            ClientFormat f;
            ASSERT_TRUE(ClientFormatFor(depth, testframes::Host32(), f)) << name;
            const ViewerOptions options = OptionsFor(e, depth);
            Bytes opening = SetPixelFormatMessage(f);
            for (const Bytes& m : {SetEncodingsMessage(EncodingList(options)),
                                   UpdateRequestMessage(false, kSeedW, kSeedH)})
                opening.insert(opening.end(), m.begin(), m.end());
            ASSERT_TRUE(pair.sendFromFar(opening)) << name;
            // Everything the host sends until it has been quiet a while.
            Bytes stream;
            while (stream.size() < (1u << 16) && pair.farReadable(300)) {
                uint8_t b = 0;
                ASSERT_TRUE(pair.receiveAtFar(&b, 1, 1000)) << name;
                stream.push_back(b);
            }
            ASSERT_FALSE(stream.empty()) << name;

            rdr::MemInStream in(stream.data(), stream.size());
            decode::Framebuffer fb(kSeedW, kSeedH);
            RecordingWriter writer;
            RecordingEvents events;
            ViewerReader reader(in, writer, events, fb, f, options, [](int) -> long { return -1; });
            StopFlag stop;
            reader.run(stop);  // ends where the recording ends
            EXPECT_EQ(in.remaining(), 0u) << name;
            EXPECT_GE(events.updatesEnded, 1) << name;
            EXPECT_EQ(host.mismatches(fb, f.pf), 0) << name;

            if (folder) {
                std::ofstream out(std::string(folder) + "/" + name, std::ios::binary);
                const uint8_t lead[2] = {static_cast<uint8_t>(depth), 0};
                out.write(reinterpret_cast<const char*>(lead), 2);
                out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
                EXPECT_TRUE(out.good()) << name;
            }
        }
    }
}

} // namespace
} // namespace viewer::testing
