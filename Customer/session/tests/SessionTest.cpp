// Whole host sessions over a real loopback connection: the test plays the
// viewer, and the independent decoder rebuilds the frame buffer from what the
// host sends.
#include "rfb/RfbProto.h"
#include "Customer/session/ViewerMessages.h"
#include "Customer/session/tests/FakeHost.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "Customer/session/tests/TestSocket.h"
#include "Customer/tests/ViewerPixels.h"
#include "Customer/session/vncServer.h"
#include "rfb/tests/TestFormats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using testformats::Make;
using testframes::Expected;
using testframes::ToTest;

constexpr int kW = 160;
constexpr int kH = 100;

std::vector<uint8_t> StartRequest(uint8_t token)
{
    return {rfbproto::kStartRequest, token};
}

std::vector<uint8_t> SetPixelFormat(const rfb::PixelFormat& pf, bool grey = false)
{
    std::vector<uint8_t> m(20, 0);
    m[0] = rfbproto::kSetPixelFormat;
    SerialisePixelFormat(pf, &m[4]);
    m[17] = grey ? 1 : 0;
    return m;
}

std::vector<uint8_t> SetEncodings(const std::vector<int32_t>& list)
{
    std::vector<uint8_t> m = {rfbproto::kSetEncodings, 0, static_cast<uint8_t>(list.size() >> 8),
                              static_cast<uint8_t>(list.size())};
    for (int32_t e : list) {
        const uint32_t u = static_cast<uint32_t>(e);
        m.insert(m.end(), {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 8),
                           static_cast<uint8_t>(u)});
    }
    return m;
}

std::vector<uint8_t> UpdateRequest(bool incremental, int x = 0, int y = 0, int w = 0, int h = 0)
{
    return {rfbproto::kFramebufferUpdateRequest, static_cast<uint8_t>(incremental), static_cast<uint8_t>(x >> 8),
            static_cast<uint8_t>(x), static_cast<uint8_t>(y >> 8), static_cast<uint8_t>(y),
            static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w), static_cast<uint8_t>(h >> 8),
            static_cast<uint8_t>(h)};
}

std::vector<uint8_t> Disconnect()
{
    return {rfbproto::kDisconnect, 0, 0, 0, 0, 0, 0, 0};
}

class Host {
public:
    explicit Host(const rfb::PixelFormat& hostFormat = testframes::Host32(), bool start = true)
        : m_format(hostFormat), dec(ToTest(hostFormat), kW, kH)
    {
        vncServer::InputDesktopLost().store(false);
        auto platform = std::make_unique<FakePlatform>(hostFormat, kW, kH);
        platform->initialFrame = testframes::Desktop(hostFormat, kW, kH, 7);
        this->platform = platform.get();
        EXPECT_TRUE(pair.ok());
        server = std::make_unique<vncServer>(std::move(platform), MakeHostConnection(pair.nearEnd()));
        if (start) {
            EXPECT_EQ(server->AddClientDefault(1, 1), 1);
            EXPECT_TRUE(this->platform->WaitEvents(1));
        }
    }

    void Send(const std::vector<uint8_t>& m) { ASSERT_TRUE(pair.sendFromFar(m)); }
    int Read()
    {
        ViewerSource src(pair);
        return dec.readMessage(src);
    }
    // Reads messages until a framebuffer update arrives; returns the types.
    std::vector<int> ReadUntilUpdate()
    {
        std::vector<int> types;
        for (int i = 0; i < 8; ++i) {
            types.push_back(Read());
            if (types.back() == rfbproto::kFramebufferUpdate)
                break;
        }
        return types;
    }
    MemoryDesktop& Desktop() { return *platform->desktop.load(); }
    bool WaitEnded(int timeoutMs = 5000)
    {
        for (int i = 0; i < timeoutMs / 10; ++i) {
            if (server->SessionEnded())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void ExpectScreenMatches(const rfb::PixelFormat& viewer)
    {
        const testframes::Frame& f = Desktop().screen.frame();
        int bad = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (dec.pixel(x, y) != Expected(f.pixel(x, y), m_format, viewer) && ++bad < 4)
                    ADD_FAILURE() << "pixel " << x << "," << y;
        EXPECT_EQ(bad, 0);
    }

    LogCapture log;
    LoopbackPair pair{LoopbackPair::Sends::AtOnce};
    FakePlatform* platform = nullptr;
    rfb::PixelFormat m_format;
    testrfb::Decoder dec;
    std::unique_ptr<vncServer> server;
};

struct FormatCase {
    const char* name;
    rfb::PixelFormat pf;
};

class SessionEncodings : public ::testing::TestWithParam<std::tuple<int, int>> {};

const FormatCase kFormats[] = {
    {"host", testframes::Host32()},
    {"16be565", Make(16, 16, true, true, 31, 63, 31, 11, 5, 0)},
    {"8colourmap", Make(8, 8, false, false, 0, 0, 0, 0, 0, 0)},
    {"32be888", Make(32, 24, true, true, 255, 255, 255, 16, 8, 0)},
};

// The whole exchange: start reply, format, encodings, a full update, an
// incremental one, a copy, the cursor shape, a new frame-buffer size and the
// end of the session.
TEST_P(SessionEncodings, FullSessionRebuildsTheScreen)
{
    const int encoding = std::get<0>(GetParam());
    const FormatCase& fc = kFormats[std::get<1>(GetParam())];
    Host host;

    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    EXPECT_EQ(host.dec.startToken, 1);
    EXPECT_EQ(host.dec.width(), kW);
    EXPECT_EQ(host.dec.height(), kH);
    uint8_t hostFormat[16];
    SerialisePixelFormat(testframes::Host32(), hostFormat);
    EXPECT_EQ(std::vector<uint8_t>(hostFormat, hostFormat + 16), host.dec.startFormat);
    host.Send(StartRequest(9));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    EXPECT_EQ(host.dec.startToken, 9);

    host.dec.setFormat(ToTest(fc.pf));
    host.Send(SetPixelFormat(fc.pf));
    host.Send(SetEncodings({encoding, rfbproto::kEncCopyRect, rfbproto::kEncRichCursor, rfbproto::kEncNewFBSize,
                            rfbproto::kEncLastRect}));
    host.Send(UpdateRequest(false));
    const std::vector<int> types = host.ReadUntilUpdate();
    EXPECT_EQ(types.back(), rfbproto::kFramebufferUpdate);
    EXPECT_EQ(host.dec.colourMapSeen, !fc.pf.trueColour);
    for (const testrfb::RectInfo& r : host.dec.lastUpdateRects)
        EXPECT_EQ(r.encoding, encoding);
    host.ExpectScreenMatches(fc.pf);

    // Incremental: a changed area, then the second update carries the cursor.
    host.Desktop().cursor.width = 4;
    host.Desktop().cursor.height = 2;
    host.Desktop().cursor.hotX = 1;
    host.Desktop().cursor.mask.assign(2, 0xF0);
    host.Desktop().cursor.pixels.assign(4 * 2 * 4, 0x55);
    testframes::Frame changed = host.Desktop().screen.frame();
    for (int y = 30; y < 60; ++y)
        for (int x = 20; x < 90; ++x)
            changed.setPixel(x, y, 0x00FF8040u + static_cast<uint32_t>(x));
    host.Desktop().screen.Paint(changed);
    host.Send(UpdateRequest(true));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    EXPECT_EQ(host.dec.cursor.encoding, rfbproto::kEncRichCursor);
    EXPECT_EQ(host.dec.cursor.w, 4);
    host.ExpectScreenMatches(fc.pf);

    // A copy: the content of (10,10)-(50,50) moves to (40,40).
    testframes::Frame moved = host.Desktop().screen.frame();
    const testframes::Frame before = moved;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            moved.setPixel(40 + x, 40 + y, before.pixel(10 + x, 10 + y));
    host.Desktop().screen.Paint(moved);
    host.Desktop().copyDest = rfb::Rect(40, 40, 80, 80);
    host.Desktop().copyDelta = rfb::Point(30, 30);
    host.Desktop().pendingCopy = true;
    host.Send(UpdateRequest(true));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    ASSERT_FALSE(host.dec.lastUpdateRects.empty());
    EXPECT_EQ(host.dec.lastUpdateRects[0].encoding, rfbproto::kEncCopyRect);
    host.ExpectScreenMatches(fc.pf);

    // A new desktop size goes out alone (after the colour map, when in use).
    EXPECT_EQ(host.server->SetNewDesktopSize(kW, kH), 1);
    host.Send(UpdateRequest(true));
    ASSERT_EQ(host.ReadUntilUpdate().back(), rfbproto::kFramebufferUpdate);
    ASSERT_EQ(host.dec.lastUpdateRects.size(), 1u);
    EXPECT_EQ(host.dec.lastUpdateRects[0].encoding, rfbproto::kEncNewFBSize);

    host.Send(Disconnect());
    EXPECT_TRUE(host.WaitEnded());
    EXPECT_TRUE(host.log.Contains("rstDisconnect message received."));
}

INSTANTIATE_TEST_SUITE_P(Encodings, SessionEncodings,
                         ::testing::Combine(::testing::Values(0, 5, 16), ::testing::Values(0, 1, 2, 3)),
                         [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
                             const int e = std::get<0>(info.param);
                             return std::string(e == 0 ? "Raw" : e == 5 ? "Hextile" : "ZRLE") + "_" +
                                    kFormats[std::get<1>(info.param)].name;
                         });

TEST(Session, EncoderChoiceFollowsTheList)
{
    struct Case {
        std::vector<int32_t> list;
        int32_t sent;
    } cases[] = {{{16, 5}, 16}, {{5, 16}, 5}, {{}, 0}, {{3, 12, 9}, 5}, {{-250, 1, 7}, 16}};
    for (const Case& c : cases) {
        Host host;
        host.Send(SetEncodings(c.list));
        host.Send(UpdateRequest(false, 0, 0, 32, 32));
        ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
        ASSERT_FALSE(host.dec.lastUpdateRects.empty());
        EXPECT_EQ(host.dec.lastUpdateRects[0].encoding, c.sent);
    }
}

TEST(Session, ScaleTwoHalvesTheViewerFrame)
{
    Host host;
    host.Send(SetEncodings({0}));
    host.Send({rfbproto::kSetScale, 0, 0, 0});   // ignored
    host.Send({rfbproto::kSetScale, 10, 0, 0});  // ignored
    host.Send({rfbproto::kSetScale, 2, 0, 0});
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kResize);
    EXPECT_EQ(host.dec.resizeW, kW / 2);
    EXPECT_EQ(host.dec.resizeH, kH / 2);
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    for (const testrfb::RectInfo& r : host.dec.lastUpdateRects) {
        EXPECT_LE(r.x + r.w, kW / 2);
        EXPECT_LE(r.y + r.h, kH / 2);
    }
    host.Send({rfbproto::kSetScaleFullSize, 3, 0, 0});
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kResizeFullSize);
    EXPECT_EQ(host.dec.fullW, kW);
    EXPECT_EQ(host.dec.resizeW, kW / 3);
}

TEST(Session, ClipboardKeysAndPointerReachTheDesktop)
{
    Host host;
    std::vector<uint8_t> cut = {rfbproto::kClientCutText, 0, 0, 0, 0, 0, 0, 5, 'h', 'e', 'l', 'l', 'o'};
    host.Send(cut);
    host.Send({rfbproto::kKeyEvent, 1, 0, 0, 0, 0, 0xFF, 0x0D});
    host.Send({rfbproto::kPointerEvent, 1, 0, 10, 0, 20});
    host.Send({rfbproto::kCursorPosOn});
    host.Send({rfbproto::kCursorPosOff});
    host.Send(StartRequest(3));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    std::lock_guard<std::mutex> hold(host.Desktop().recordLock);
    EXPECT_EQ(host.Desktop().clipText, "hello");
    ASSERT_EQ(host.Desktop().keys.size(), 1u);
    EXPECT_EQ(host.Desktop().keys[0], 0x8000FF0Du);
    ASSERT_EQ(host.Desktop().pointers.size(), 1u);
    EXPECT_EQ(host.Desktop().pointers[0].x, 10);
    EXPECT_EQ(host.Desktop().pointers[0].left, 1);
    EXPECT_TRUE(host.server->ClientTakeKeyEventFlag());
}

// The host's update pump asks its own server: an incremental whole-screen
// request that sends what changed, with no request on the viewer's stream.
TEST(Session, HostsOwnUpdateRequestSendsTheChanges)
{
    Host host;
    host.Send(SetEncodings({0}));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    host.Desktop().screen.Paint(testframes::Desktop(testframes::Host32(), kW, kH, 9));
    host.server->RequestScreenUpdate();
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    host.ExpectScreenMatches(testframes::Host32());
}

// Regression: the pump's request used to be written into the viewer's byte
// stream, which the relay cuts into 1456-byte frames; landing inside a long
// clipboard text it turned the rest into key and pointer events. A text of
// several frames, arriving frame by frame while the pump runs flat out,
// reaches the desktop whole and nothing else is injected.
TEST(Session, LongClipboardTextArrivesWholeWhileThePumpRuns)
{
    Host host;
    std::string text;
    for (size_t i = 0; text.size() < 5000; ++i)
        text += "line " + std::to_string(i) + " \x03\x01\x04\x05;";
    std::vector<uint8_t> cut = {rfbproto::kClientCutText, 0, 0, 0, 0, 0,
                                static_cast<uint8_t>(text.size() >> 8), static_cast<uint8_t>(text.size())};
    cut.insert(cut.end(), text.begin(), text.end());
    std::atomic<bool> stop{false};
    std::thread pump([&] {
        while (!stop)
            host.server->RequestScreenUpdate();
    });
    for (size_t at = 0; at < cut.size(); at += 1456) {
        host.Send(std::vector<uint8_t>(cut.begin() + at, cut.begin() + std::min(cut.size(), at + 1456)));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    host.Send(StartRequest(4));
    int type = 0;
    for (int i = 0; i < 50 && type != rfbproto::kStartReply; ++i)
        type = host.Read();
    stop = true;
    pump.join();
    ASSERT_EQ(type, rfbproto::kStartReply);
    std::lock_guard<std::mutex> hold(host.Desktop().recordLock);
    EXPECT_EQ(host.Desktop().clipText, text);
    EXPECT_TRUE(host.Desktop().keys.empty());
    EXPECT_TRUE(host.Desktop().pointers.empty());
}

// A platform whose event and desktop are another's: two servers of one
// process share the one named event, as the program's do.
class SharedPlatform : public HostPlatform {
public:
    explicit SharedPlatform(FakePlatform& p) : m_p(p) {}
    std::unique_ptr<HostDesktop> MakeDesktop() override { return m_p.MakeDesktop(); }
    void SignalServerEvent() override { m_p.SignalServerEvent(); }
    void ResetServerEvent() override { m_p.ResetServerEvent(); }
    int MonitorCount() override { return m_p.MonitorCount(); }
    int OsClass() override { return m_p.OsClass(); }
    bool OnInputDesktop() override { return m_p.OnInputDesktop(); }
    bool AttachToInputDesktop() override { return m_p.AttachToInputDesktop(); }
    void RaiseThreadPriority() override {}
    uint32_t TickCount() override { return 1; }

private:
    FakePlatform& m_p;
};

// Regression: "vnc server is created" is auto-reset and was set again at
// every teardown, so after one sharing the next start's check was answered
// by the old session and a server whose desktop failed was announced as
// sharing. Start, stop, then a start whose desktop fails: the check fails,
// also when a stray signal came in between.
TEST(Session, StartEventAnswersOnlyThisStart)
{
    for (bool straySignal : {false, true}) {
        vncServer::InputDesktopLost().store(false);
        FakePlatform shared(testframes::Host32(), kW, kH);
        LogCapture log;
        LoopbackPair first{LoopbackPair::Sends::AtOnce};
        ASSERT_TRUE(first.ok());
        auto server = std::make_unique<vncServer>(std::make_unique<SharedPlatform>(shared),
                                                  MakeHostConnection(first.nearEnd()));
        ASSERT_EQ(server->AddClientDefault(1, 1), 1);
        ASSERT_TRUE(shared.TakeEvent(5000)) << "the first start was not signalled";
        ASSERT_TRUE(first.sendFromFar(Disconnect()));
        for (int i = 0; i < 500 && !server->SessionEnded(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(server->SessionEnded());
        server.reset();
        EXPECT_EQ(shared.Events(), 1) << "teardown signalled the start event";

        if (straySignal)
            shared.SignalServerEvent();
        shared.desktopFails = true;
        LoopbackPair second{LoopbackPair::Sends::AtOnce};
        ASSERT_TRUE(second.ok());
        server = std::make_unique<vncServer>(std::make_unique<SharedPlatform>(shared),
                                             MakeHostConnection(second.nearEnd()));
        ASSERT_EQ(server->AddClientDefault(1, 1), 1);
        EXPECT_FALSE(shared.TakeEvent(500)) << "a server that never started was taken as started"
                                            << (straySignal ? " (stray signal)" : "");
        for (int i = 0; i < 500 && !server->SessionEnded(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(server->SessionEnded());
        EXPECT_TRUE(log.Contains("failed to create desktop"));
    }
}

TEST(Session, HostClipboardGoesOutWithoutARequest)
{
    Host host;
    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    host.server->UpdateClientClipText("from host");
    ASSERT_EQ(host.Read(), rfbproto::kServerCutText);
    EXPECT_EQ(host.dec.cutText, "from host");
}

TEST(Session, InputDesktopLostAndRestoredAreEachSentOnce)
{
    Host host;
    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    // The thread may already wait in its read, so the request can be
    // answered before or after the loss is noticed; either way the loss and
    // the return are each reported once, however long the loss lasts.
    host.platform->inputDesktop.store(false);
    host.Send(StartRequest(2));
    std::vector<int> seen = {host.Read()};
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    host.platform->inputDesktop.store(true);
    while (seen.size() < 3)
        seen.push_back(host.Read());
    EXPECT_EQ(std::count(seen.begin(), seen.end(), rfbproto::kInputDesktopLost), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), rfbproto::kInputDesktopRestored), 1);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), rfbproto::kStartReply), 1);
    EXPECT_EQ(host.dec.startToken, 2);
}

TEST(Session, SetSWIsRefusedOnOneMonitor)
{
    Host host;
    host.Send({rfbproto::kSetSW, 0, 0, 1, 0, 1});
    ASSERT_EQ(host.Read(), rfbproto::kSetSWRefused);
    host.platform->monitors.store(2);
    host.Send({rfbproto::kSetSW, 0, 0, 6, 0, 6});
    ASSERT_EQ(host.Read(), rfbproto::kSetSWRefused);
}

// Bad viewer input ends the session cleanly: nothing is injected from a
// partial message and the connection is shut down.
struct BadInput {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* logLine;
};

class SessionBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(SessionBadInput, EndsTheSession)
{
    const BadInput& c = GetParam();
    Host host;
    host.Send(c.bytes);
    EXPECT_TRUE(host.WaitEnded());
    EXPECT_TRUE(host.log.Contains(c.logLine)) << c.logLine;
    std::lock_guard<std::mutex> hold(host.Desktop().recordLock);
    EXPECT_TRUE(host.Desktop().keys.empty());
    EXPECT_TRUE(host.Desktop().clipText.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionBadInput,
    ::testing::Values(
        BadInput{"UnknownType7", {7, 0, 0, 0}, "unknown message type.[7]"},
        BadInput{"UnknownType200", {200}, "unknown message type.[200]"},
        BadInput{"HugeCutText", {rfbproto::kClientCutText, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}, "cut text of"},
        BadInput{"Bpp24", SetPixelFormat(Make(24, 24, false, true, 255, 255, 255, 16, 8, 0)),
                 "only 8, 16 or 32 bits supported remotely - 24 requested"},
        BadInput{"ZeroMax", SetPixelFormat(Make(16, 16, false, true, 0, 63, 31, 11, 5, 0)),
                 "client pixel format is not supported"},
        BadInput{"ShiftOutsidePixel", SetPixelFormat(Make(16, 16, false, true, 31, 63, 255, 11, 5, 12)),
                 "client pixel format is not supported"},
        BadInput{"RequestOutsideTheScreen", UpdateRequest(false, 5000, 10, 10, 10),
                 "FATAL! client update region is empty!"},
        BadInput{"Disconnect", Disconnect(), "rstDisconnect message received."}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(Session, TruncatedKeyEventInjectsNothing)
{
    Host host;
    host.Send({rfbproto::kKeyEvent, 1, 0});
    host.pair.closeFar();
    EXPECT_TRUE(host.WaitEnded());
    std::lock_guard<std::mutex> hold(host.Desktop().recordLock);
    EXPECT_TRUE(host.Desktop().keys.empty());
}

// Regression: an exception on the client thread or the update sender (an
// allocation failure here) escaped the omni_thread and ended the process;
// it now ends the session, with the teardown run and the threads joined.
TEST(Session, ExceptionOnTheClientThreadEndsTheSession)
{
    Host host;
    host.Desktop().pollThrows.store(true);
    host.Send(UpdateRequest(false));
    EXPECT_TRUE(host.WaitEnded());
    EXPECT_TRUE(host.log.Contains("session ended:"));
}

TEST(Session, ExceptionOnTheUpdateSenderEndsTheSession)
{
    Host host;
    host.Desktop().cursor.width = 2;
    host.Desktop().cursor.height = 2;
    host.Desktop().cursor.mask.assign(2, 0xC0);
    host.Desktop().cursor.pixels.assign(2 * 2 * 4, 0x11);
    host.Send(SetEncodings({0, rfbproto::kEncRichCursor}));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    // The second update carries the cursor shape.
    host.Desktop().cursorThrows.store(true);
    host.Send(UpdateRequest(false));
    EXPECT_TRUE(host.WaitEnded());
    EXPECT_TRUE(host.log.Contains("update abandoned:"));
}

TEST(Session, RequestPartlyOutsideIsClipped)
{
    Host host;
    host.Send(SetEncodings({0}));
    host.Send(UpdateRequest(false, kW - 10, kH - 10, 500, 500));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    for (const testrfb::RectInfo& r : host.dec.lastUpdateRects) {
        EXPECT_LE(r.x + r.w, kW);
        EXPECT_LE(r.y + r.h, kH);
    }
}

// Regression: deleting a server used to shut the core's socket down, so the
// next server the core made on the same socket (after a sharing resume) could
// not read a byte. Deletion ends the session and joins its threads; the socket
// stays open and serves the next session.
TEST(Session, DeletingTheServerLeavesTheSocketForTheNextSession)
{
    Host host;
    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    host.server.reset();
    EXPECT_FALSE(host.pair.farSeesClose(300)) << "the core's socket was shut down";

    auto platform = std::make_unique<FakePlatform>(testframes::Host32(), kW, kH);
    FakePlatform* second = platform.get();
    host.server = std::make_unique<vncServer>(std::move(platform), MakeHostConnection(host.pair.nearEnd()));
    ASSERT_EQ(host.server->AddClientDefault(1, 1), 1);
    ASSERT_TRUE(second->WaitEvents(1));
    host.Send(StartRequest(2));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    EXPECT_EQ(host.dec.startToken, 2);
}

// A viewer that stops reading leaves the update sender waiting in a send;
// deleting the server still ends that send and joins the threads promptly.
TEST(Session, DeletingTheServerEndsASendToAStalledViewer)
{
    Host host;
    host.pair.shrinkBuffers();
    host.Send(SetEncodings({0}));
    for (int i = 0; i < 20; ++i)
        host.Send(UpdateRequest(false));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    host.server.reset();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 3000);
}

TEST(Session, ClientReadyFollowsSetEncodings)
{
    Host host(testframes::Host32(), false);
    EXPECT_TRUE(host.server->ClientReady());
    ASSERT_EQ(host.server->AddClientDefault(1, 1), 1);
    ASSERT_TRUE(host.platform->WaitEvents(1));
    EXPECT_FALSE(host.server->ClientReady());
    host.Send(SetEncodings({5}));
    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    EXPECT_TRUE(host.server->ClientReady());
    EXPECT_EQ(host.server->AddClientDefault(1, 1), 0);
}

} // namespace
