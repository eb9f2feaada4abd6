// Whole host sessions over a real loopback connection: the test plays the
// viewer, and the independent decoder rebuilds the frame buffer from what the
// host sends.
#include "rfb/RfbProto.h"
#include "Customer/session/ViewerMessages.h"
#include "Customer/session/tests/FakeHost.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "Customer/session/tests/TestSocket.h"
#include "Customer/tests/ViewerPixels.h"
#include "Customer/session/vncClient.h"
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
    explicit Host(const rfb::PixelFormat& hostFormat = testframes::Host32(), bool start = true, int w = kW,
                  int h = kH)
        : m_format(hostFormat), dec(ToTest(hostFormat), w, h)
    {
        vncServer::InputDesktopLost().store(false);
        auto platform = std::make_unique<FakePlatform>(hostFormat, w, h);
        platform->initialFrame = testframes::Desktop(hostFormat, w, h, 7);
        this->platform = platform.get();
        EXPECT_TRUE(pair.ok());
        server = std::make_unique<vncServer>(std::move(platform), MakeHostConnection(pair.nearEnd()));
        if (start) {
            EXPECT_EQ(server->AddClientDefault(1, 1), 1);
            EXPECT_TRUE(this->platform->WaitEvents(1));
        }
    }

    void Send(const std::vector<uint8_t>& m) { ASSERT_TRUE(pair.sendFromFar(m)); }
    int Read(int timeoutMs = 5000)
    {
        ViewerSource src(pair, timeoutMs);
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
        ExpectAreaMatches(viewer, rfb::Rect(0, 0, dec.width(), dec.height()));
    }
    void ExpectAreaMatches(const rfb::PixelFormat& viewer, const rfb::Rect& area)
    {
        const testframes::Frame& f = Desktop().screen.frame();
        int bad = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (dec.pixel(x, y) != Expected(f.pixel(x, y), m_format, viewer) && ++bad < 4)
                    ADD_FAILURE() << "pixel " << x << "," << y;
        EXPECT_EQ(bad, 0);
    }
    // Encodings in rectangles of the last update.
    int CountRects(int32_t encoding) const
    {
        return static_cast<int>(std::count_if(dec.lastUpdateRects.begin(), dec.lastUpdateRects.end(),
                                              [&](const testrfb::RectInfo& r) { return r.encoding == encoding; }));
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

// A viewer that stops and starts again on the same connection (a pause)
// has new decoders: from its start request the host sends no update until
// its encodings, and the ZRLE stream starts afresh.
TEST(Session, StartRequestBeginsANewViewing)
{
    const rfb::PixelFormat viewer = kFormats[1].pf;
    Host host;
    for (uint8_t token = 1; token <= 2; ++token) {
        testrfb::Decoder fresh(ToTest(testframes::Host32()), kW, kH);
        auto read = [&] {
            ViewerSource src(host.pair);
            return fresh.readMessage(src);
        };
        host.Send(StartRequest(token));
        ASSERT_EQ(read(), rfbproto::kStartReply);
        // The second time the host's pump asks before the viewer's format
        // and encodings.
        if (token == 2)
            host.Send(UpdateRequest(false));
        fresh.setFormat(ToTest(viewer));
        host.Send(SetPixelFormat(viewer));
        host.Send(SetEncodings({rfbproto::kEncZRLE}));
        if (token == 1)
            host.Send(UpdateRequest(false));
        ASSERT_EQ(read(), rfbproto::kFramebufferUpdate) << "viewing " << int(token);
        int bad = 0;
        const testframes::Frame& f = host.Desktop().screen.frame();
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                bad += fresh.pixel(x, y) != Expected(f.pixel(x, y), host.m_format, viewer);
        EXPECT_EQ(bad, 0) << "viewing " << int(token);
    }
}

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

// Every participant's stream reaches the host: the viewer's keys, pointer,
// clipboard text and blank-screen request act only while a participant holds
// control, and what the holder left pressed goes up once control is taken
// back (regression: a Shift or a button stayed down on the host).
TEST(Session, ViewerInputActsOnlyWithControl)
{
    Host host(testframes::Host32(), false);
    std::atomic<bool> control{false};
    host.server->SetControlGate([&] { return control.load(); });
    ASSERT_EQ(host.server->AddClientDefault(1, 1), 1);
    ASSERT_TRUE(host.platform->WaitEvents(1));
    uint8_t token = 1;
    auto sendInputAndSync = [&](uint8_t keyDown, uint8_t buttons) {
        host.Send({rfbproto::kClientCutText, 0, 0, 0, 0, 0, 0, 1, 'x'});
        host.Send({rfbproto::kKeyEvent, keyDown, 0, 0, 0, 0, 0xFF, 0xE1});
        host.Send({rfbproto::kPointerEvent, buttons, 0, 10, 0, 20});
        host.Send({rfbproto::kBlankScreen, 1, 0, 0});
        host.Send(StartRequest(token++));
        ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    };
    sendInputAndSync(1, 1);
    {
        std::lock_guard<std::mutex> hold(host.Desktop().recordLock);
        EXPECT_EQ(host.Desktop().clipText, "");
        EXPECT_TRUE(host.Desktop().keys.empty());
        EXPECT_TRUE(host.Desktop().pointers.empty());
    }
    EXPECT_FALSE(LogCapture::Contains("blank screen 1 not carried out"));

    control = true;
    sendInputAndSync(1, 1);
    {
        std::lock_guard<std::mutex> hold(host.Desktop().recordLock);
        EXPECT_EQ(host.Desktop().clipText, "x");
        EXPECT_EQ(host.Desktop().keys, std::vector<uint32_t>{0x8000FFE1u});
        ASSERT_EQ(host.Desktop().pointers.size(), 1u);
        EXPECT_EQ(host.Desktop().pointers[0].left, 1);
    }
    EXPECT_TRUE(LogCapture::Contains("blank screen 1 not carried out"));
    EXPECT_EQ(host.Desktop().keyReleases.load(), 0);

    // Taken back while Shift and the left button are held: the next message
    // (the host's own update pump sends one every 50 ms) lets them go.
    control = false;
    host.Send(UpdateRequest(true));
    host.Send(StartRequest(token++));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    std::lock_guard<std::mutex> hold(host.Desktop().recordLock);
    EXPECT_EQ(host.Desktop().keyReleases.load(), 1);
    ASSERT_EQ(host.Desktop().pointers.size(), 2u);
    EXPECT_EQ(host.Desktop().pointers[1].left, -1);
    EXPECT_EQ(host.Desktop().pointers[1].x, 10);
    EXPECT_EQ(host.Desktop().keys.size(), 1u);
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

// Regression: the pump was answered before the viewer's pixel format and
// encodings had been read, so the first picture went out in the host's own
// format while the viewer read it in the one it had asked for and lost its
// place in the stream (seen with our viewer on the real screen). The pump
// waits for the encodings, which follow the format.
TEST(Session, PumpWaitsForTheViewersFormatAndEncodings)
{
    Host host;
    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    for (int i = 0; i < 10; ++i)
        host.server->RequestScreenUpdate();
    EXPECT_FALSE(host.pair.farReadable(300)) << "nothing before the viewer's encodings";
    const rfb::PixelFormat viewer = Make(8, 8, false, true, 7, 7, 3, 0, 3, 6);
    host.dec.setFormat(ToTest(viewer));
    host.Send(SetPixelFormat(viewer));
    host.Send(SetEncodings({rfbproto::kEncZRLE}));
    for (int t = 0; t < 3000 && !host.pair.farReadable(20); t += 20)
        host.server->RequestScreenUpdate();
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    host.ExpectScreenMatches(viewer);
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
    InputDesktop InputDesktopSelected() override { return m_p.InputDesktopSelected(); }
    bool AttachToInputDesktop() override { return m_p.AttachToInputDesktop(); }
    void RememberThreadDesktop() override {}
    void RestoreThreadDesktop() override {}
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

// With two displays the all-displays choice is taken (nothing is said), and
// a display toggle while all are shared is refused; so is any choice on one
// display, or from a viewer that cannot take a new frame size.
TEST(Session, SetSWIsRefusedOnOneMonitorAndFromAllDisplays)
{
    Host host;
    host.Send(SetEncodings({rfbproto::kEncRaw, rfbproto::kEncNewFBSize}));
    host.Send({rfbproto::kSetSW, 0, 0, 1, 0, 1});
    ASSERT_EQ(host.Read(), rfbproto::kSetSWRefused);
    host.platform->monitors.store(2);
    host.Send({rfbproto::kSetSW, 0, 0, 6, 0, 6});
    host.Send({rfbproto::kSetSW, 0, 0, 1, 0, 1});
    ASSERT_EQ(host.Read(), rfbproto::kSetSWRefused);
    EXPECT_THROW(host.Read(300), std::exception) << "one refusal only";

    host.Send(SetEncodings({rfbproto::kEncRaw}));
    host.Send({rfbproto::kSetSW, 0, 0, 6, 0, 6});
    ASSERT_EQ(host.Read(), rfbproto::kSetSWRefused) << "no NewFBSize announced";
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
// allocation failure, or a type that derives from nothing) escaped the
// omni_thread and ended the process; it now ends the session, with the
// teardown run and the threads joined.
TEST(Session, ExceptionOnTheClientThreadEndsTheSession)
{
    for (bool foreign : {false, true}) {
        LogCapture::Clear();
        Host host;
        host.Desktop().throwForeign.store(foreign);
        host.Desktop().inputThrows.store(true);
        host.Send({rfbproto::kKeyEvent, 1, 0, 0, 0, 0, 0xFF, 0x0D});
        EXPECT_TRUE(host.WaitEnded()) << foreign;
        EXPECT_TRUE(host.log.Contains(foreign ? "session ended: unknown exception" : "session ended:")) << foreign;
    }
}

// An exception on the desktop thread ends the session: a desktop that no
// longer captures never leaves the viewer a frozen picture.
TEST(Session, ExceptionOnTheDesktopThreadEndsTheSession)
{
    for (bool foreign : {false, true}) {
        LogCapture::Clear();
        Host host;
        host.Desktop().throwForeign.store(foreign);
        host.Desktop().captureThrows.store(true);
        host.Send(SetEncodings({0}));
        host.Send(UpdateRequest(false));
        EXPECT_TRUE(host.WaitEnded()) << foreign;
        EXPECT_TRUE(host.log.Contains(foreign ? "desktop thread ended: unknown exception" : "desktop thread ended:"))
            << foreign;
    }
}

TEST(Session, ExceptionOnTheUpdateSenderEndsTheSession)
{
    for (bool foreign : {false, true}) {
        LogCapture::Clear();
        Host host;
        host.Desktop().throwForeign.store(foreign);
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
        EXPECT_TRUE(host.WaitEnded()) << foreign;
        EXPECT_TRUE(host.log.Contains(foreign ? "update abandoned: unknown exception" : "update abandoned:"))
            << foreign;
    }
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

// A client thread held past the deletion's limit (inside the desktop here,
// where shutting the connection cannot reach it): the deletion returns at the
// limit and logs, and the client, desktop, connection and platform the thread
// still uses are left to it, not freed (ASan sees any use of a freed one).
// Let go, the thread finishes its session on them.
TEST(Session, ClientThreadHeldPastTheLimitKeepsWhatItUses)
{
    Host host;
    host.Desktop().holdKeys.store(true);
    host.Send({rfbproto::kKeyEvent, 1, 0, 0, 0, 0, 0xFF, 0x0D});
    for (int i = 0; i < 500 && !host.Desktop().keyHeld.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(host.Desktop().keyHeld.load());
    vncClient* client = host.server->GetClient();
    HostDesktop* desktop = host.server->GetDesktop();
    HostConnection* connection = &host.server->Connection();
    HostPlatform* platform = &host.server->Platform();
    MemoryDesktop& memory = host.Desktop();

    const auto start = std::chrono::steady_clock::now();
    host.server.reset();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 4900);
    EXPECT_LT(ms, 6500);
    EXPECT_TRUE(host.log.Contains("client thread did not end in 5000 ms"));
    EXPECT_FALSE(client->HasFinished());

    memory.holdKeys.store(false);
    for (int i = 0; i < 500 && !client->HasFinished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(client->HasFinished());
    EXPECT_EQ(memory.keys.size(), 1u);
    EXPECT_EQ(host.platform->desktopRestoredAfter.load(), 1);  // its teardown ran
    // The owner of what was left behind frees it once the thread has ended.
    delete client;
    delete desktop;
    delete connection;
    delete platform;
    host.platform = nullptr;
}

// A display change restarts the capture: the viewer gets the new size, then
// the whole new screen.
TEST(Session, DisplayChangeSendsTheNewSizeThenTheWholeScreen)
{
    Host host;
    host.Send(SetEncodings({rfbproto::kEncRaw, rfbproto::kEncNewFBSize}));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    constexpr int w = 200, h = 120;
    auto bigger = std::make_unique<MemoryScreen>(testframes::Host32(), w, h);
    bigger->Paint(testframes::Desktop(testframes::Host32(), w, h, 4));
    MemoryScreen* now = bigger.get();
    host.Desktop().resized = std::move(bigger);
    host.Desktop().RequestRestart();
    host.Send(UpdateRequest(true));
    ASSERT_EQ(host.ReadUntilUpdate().back(), rfbproto::kFramebufferUpdate);
    ASSERT_EQ(host.dec.lastUpdateRects.size(), 1u);
    EXPECT_EQ(host.dec.lastUpdateRects[0].encoding, rfbproto::kEncNewFBSize);
    EXPECT_EQ(host.dec.width(), w);
    EXPECT_EQ(host.dec.height(), h);
    EXPECT_TRUE(host.log.Contains("SCR: new screen format 200x120x32"));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    int bad = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bad += host.dec.pixel(x, y) != Expected(now->frame().pixel(x, y), testframes::Host32(), testframes::Host32());
    EXPECT_EQ(bad, 0);
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

// Regression: a desktop the process may not open (access denied, as for a
// secure desktop) made the thread announce a lost input desktop and stop
// reading; it now goes on reading and executing the viewer's messages.
TEST(Session, InputDesktopAccessDeniedGoesOnReading)
{
    Host host;
    host.platform->inputDesktop.store(false);
    host.platform->inputAccessDenied.store(true);
    // The first request may be read before the check sees the change; the
    // second is read after it.
    for (uint8_t token : {4, 5}) {
        host.Send(StartRequest(token));
        ASSERT_EQ(host.Read(), rfbproto::kStartReply);
        EXPECT_EQ(host.dec.startToken, token);
    }
    EXPECT_FALSE(vncServer::InputDesktopLost().load());
}

TEST(Session, TeardownReturnsTheThreadToItsOwnDesktop)
{
    Host host;
    EXPECT_EQ(host.platform->desktopRemembered.load(), 1);
    EXPECT_EQ(host.platform->desktopRestoredAfter.load(), 0);
    host.Send(Disconnect());
    ASSERT_TRUE(host.WaitEnded());
    EXPECT_EQ(host.platform->desktopRestoredAfter.load(), 1);
}

// Regression: a request wholly off the screen (a viewer behind a resize)
// ended the session; it is dropped with a log line and the next message is
// read in step.
TEST(Session, RequestOutsideTheScreenIsDropped)
{
    Host host;
    const std::vector<uint8_t> requests[] = {
        UpdateRequest(false, 5000, 10, 10, 10),
        UpdateRequest(true, 10, kH, 10, 10),
        UpdateRequest(false, kW, kH, 1, 1),
    };
    uint8_t token = 1;
    for (const std::vector<uint8_t>& r : requests) {
        host.log.Clear();
        host.Send(r);
        host.Send(StartRequest(token));
        ASSERT_EQ(host.Read(), rfbproto::kStartReply);
        EXPECT_EQ(host.dec.startToken, token++);
        EXPECT_TRUE(host.log.Contains("outside the screen dropped"));
    }
    EXPECT_FALSE(host.server->SessionEnded());
}

// The desktop's thread asks for a new size while the viewer's SetEncodings
// and scale messages change what the update sender reads (run under
// ThreadSanitizer by the tsan preset).
TEST(Session, NewDesktopSizeWhileTheViewerChangesItsSettings)
{
    Host host;
    host.Send(SetEncodings({0, rfbproto::kEncNewFBSize}));
    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    int refused = 0;
    std::thread desktop([&] {
        for (int i = 0; i < 100; ++i) {
            if (!host.server->SetNewDesktopSize(kW, kH))
                ++refused;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int i = 0; i < 50; ++i) {
        host.Send(SetEncodings({0, rfbproto::kEncNewFBSize}));
        host.Send({rfbproto::kSetScaleFullSize, 0, 0, 0});
    }
    desktop.join();
    EXPECT_EQ(refused, 0);
    host.Send(StartRequest(2));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
}

TEST(Session, FailedNewDesktopSizeStopsOnlyTheSession)
{
    Host host;
    host.Send(SetEncodings({0}));
    host.Send(StartRequest(1));
    ASSERT_EQ(host.Read(), rfbproto::kStartReply);
    EXPECT_EQ(host.server->SetNewDesktopSize(kW + 8, kH), 0);
    EXPECT_TRUE(host.log.Contains("Unable to set new desktop size"));
    // The client thread sees the stop at its next message.
    host.Send(StartRequest(2));
    EXPECT_TRUE(host.WaitEnded());
    EXPECT_NE(host.server->GetDesktop(), nullptr) << "the desktop goes with the server, not from its own thread";
    EXPECT_FALSE(host.pair.farSeesClose(200)) << "the core's socket is not the session's to close";
}

TEST(Session, SettingsListedBeforeTheirEncodingApply)
{
    Host host;
    host.Desktop().cursor.width = 3;
    host.Desktop().cursor.height = 2;
    host.Desktop().cursor.mask.assign(2, 0xE0);
    host.Desktop().cursor.pixels.assign(3 * 2 * 4, 0x7F);
    host.Send(SetEncodings({rfbproto::kEncRichCursor, rfbproto::kEncZRLE}));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    EXPECT_GT(host.CountRects(rfbproto::kEncZRLE), 0);
    // The second update carries the cursor shape.
    host.Send(UpdateRequest(false, 0, 0, 8, 8));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    EXPECT_EQ(host.CountRects(rfbproto::kEncRichCursor), 1);
    EXPECT_EQ(host.dec.cursor.w, 3);
    host.ExpectScreenMatches(testframes::Host32());
}

// The mean of each n x n cell, channel by channel, rounded down.
uint32_t CellAverage(const testframes::Frame& f, int cx, int cy, int n)
{
    unsigned sum[3] = {};
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const uint32_t p = f.pixel(cx * n + x, cy * n + y);
            sum[0] += p >> 16 & 0xFF;
            sum[1] += p >> 8 & 0xFF;
            sum[2] += p & 0xFF;
        }
    const unsigned cells = static_cast<unsigned>(n * n);
    return testframes::Pack(f.format, sum[0] / cells, sum[1] / cells, sum[2] / cells);
}

void ExpectScaledArea(Host& host, int n, const rfb::Rect& cellArea)
{
    const testframes::Frame& f = host.Desktop().screen.frame();
    int bad = 0;
    for (int cy = cellArea.top; cy < cellArea.bottom; ++cy)
        for (int cx = cellArea.left; cx < cellArea.right; ++cx)
            if (host.dec.pixel(cx, cy) != CellAverage(f, cx, cy, n) && ++bad < 4)
                ADD_FAILURE() << "scale " << n << " cell " << cx << "," << cy << " is " << host.dec.pixel(cx, cy)
                              << " want " << CellAverage(f, cx, cy, n);
    EXPECT_EQ(bad, 0);
}

TEST(Session, ScaledPixelsAreTheAveragesOfTheirCells)
{
    for (int n : {2, 3, 9}) {
        Host host;
        host.Send(SetEncodings({rfbproto::kEncRaw}));
        host.Send({rfbproto::kSetScale, static_cast<uint8_t>(n), 0, 0});
        host.Send(UpdateRequest(false));
        ASSERT_EQ(host.ReadUntilUpdate().back(), rfbproto::kFramebufferUpdate);
        ExpectScaledArea(host, n, rfb::Rect(0, 0, kW / n, kH / n));
    }
}

// A copy the viewer cannot apply as one goes out as pixels: at a scale
// other than 1, with its source outside the shared area, or to a viewer
// that did not announce CopyRect.
struct CopyCase {
    const char* name;
    int scale;
    rfb::Rect shared;
    bool announced;
    bool asCopy;
};

class SessionCopies : public ::testing::TestWithParam<CopyCase> {};

TEST_P(SessionCopies, GoOutAsCopyOnlyWhenTheViewerCanApplyThem)
{
    const CopyCase& c = GetParam();
    Host host;
    host.Desktop().shared = c.shared;
    std::vector<int32_t> encodings = {rfbproto::kEncRaw};
    if (c.announced)
        encodings.push_back(rfbproto::kEncCopyRect);
    host.Send(SetEncodings(encodings));
    if (c.scale != 1)
        host.Send({rfbproto::kSetScale, static_cast<uint8_t>(c.scale), 0, 0});
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.ReadUntilUpdate().back(), rfbproto::kFramebufferUpdate);

    // The content of (10,40)-(50,80) moves 50 pixels to the right.
    const rfb::Rect dest(60, 40, 100, 80);
    testframes::Frame moved = host.Desktop().screen.frame();
    const testframes::Frame before = moved;
    for (int y = 40; y < 80; ++y)
        for (int x = 10; x < 50; ++x)
            moved.setPixel(x + 50, y, before.pixel(x, y));
    host.Desktop().screen.Paint(moved);
    host.Desktop().copyDest = dest;
    host.Desktop().copyDelta = rfb::Point(50, 0);
    host.Desktop().pendingCopy = true;
    host.Send(UpdateRequest(true));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    EXPECT_EQ(host.CountRects(rfbproto::kEncCopyRect), c.asCopy ? 1 : 0);
    if (c.scale == 1)
        host.ExpectAreaMatches(testframes::Host32(), dest);
    else
        ExpectScaledArea(host, c.scale, rfb::Rect(dest.left / c.scale, dest.top / c.scale, dest.right / c.scale,
                                                  dest.bottom / c.scale));
}

INSTANTIATE_TEST_SUITE_P(Cases, SessionCopies,
                         ::testing::Values(CopyCase{"Applied", 1, rfb::Rect(), true, true},
                                           CopyCase{"ScaleTwo", 2, rfb::Rect(), true, false},
                                           CopyCase{"SourceOutsideTheSharedArea", 1, rfb::Rect(55, 0, kW, kH), true,
                                                    false},
                                           CopyCase{"CopyRectNotAnnounced", 1, rfb::Rect(), false, false}),
                         [](const ::testing::TestParamInfo<CopyCase>& info) { return std::string(info.param.name); });

// Each 8-bit palette value v goes out as v x 256; a true-colour host gives a
// colour-map viewer the BGR233 map (red in bits 0-2, green 3-5, blue 6-7).
TEST(Session, ColourMapValuesOnTheWire)
{
    Host host;
    const rfb::PixelFormat pf = kFormats[2].pf;
    host.dec.setFormat(ToTest(pf));
    host.Send(SetPixelFormat(pf));
    host.Send(SetEncodings({rfbproto::kEncRaw}));
    host.Send(UpdateRequest(false));
    const std::vector<int> types = host.ReadUntilUpdate();
    ASSERT_EQ(std::count(types.begin(), types.end(), rfbproto::kSetColourMapEntries), 1);
    const struct {
        int index;
        uint16_t red, green, blue;
    } entries[] = {
        {0x00, 0, 0, 0},          {0x07, 0xFF00, 0, 0},          {0x38, 0, 0xFF00, 0},
        {0xC0, 0, 0, 0xFF00},     {0xFF, 0xFF00, 0xFF00, 0xFF00}, {0x49, 36 << 8, 36 << 8, 85 << 8},
        {0x92, 72 << 8, 72 << 8, 170 << 8},
    };
    for (const auto& e : entries) {
        EXPECT_EQ(host.dec.colourMap[e.index][0], e.red) << e.index;
        EXPECT_EQ(host.dec.colourMap[e.index][1], e.green) << e.index;
        EXPECT_EQ(host.dec.colourMap[e.index][2], e.blue) << e.index;
    }
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(host.dec.colourMap[i][c] & 0xFF, 0) << i;
}

rfb::Region RegionOf(const std::vector<rfb::Rect>& rects)
{
    rfb::Region r;
    for (const rfb::Rect& x : rects)
        r.assign_union(rfb::Region(x));
    return r;
}

TEST(Session, UpToFiveCachedRectanglesGoOutAsCacheRectangles)
{
    Host host;
    host.Send(SetEncodings({rfbproto::kEncRaw, rfbproto::kEncCacheEnable}));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    const std::vector<rfb::Rect> rects = {rfb::Rect(0, 0, 8, 4), rfb::Rect(20, 10, 60, 12), rfb::Rect(3, 30, 4, 31),
                                          rfb::Rect(100, 50, 160, 60), rfb::Rect(9, 90, 19, 100)};
    host.Desktop().pendingCached = RegionOf(rects);
    host.Send(UpdateRequest(true));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    ASSERT_EQ(host.dec.lastUpdateRects.size(), rects.size());
    EXPECT_EQ(host.dec.cacheRects, 5);
    for (size_t i = 0; i < rects.size(); ++i) {
        const testrfb::RectInfo& got = host.dec.lastUpdateRects[i];
        EXPECT_EQ(got.encoding, rfbproto::kEncCache);
        EXPECT_EQ(rfb::Rect(got.x, got.y, got.x + got.w, got.y + got.h), rects[i]) << i;
    }
}

// Six cached rectangles go out as one CacheZip. These six records hardly
// compress: zlib's output (57 bytes) is larger than r x 8 + r x 8 / 100 + 8
// (56), so the compression buffer has to be compressBound's size.
TEST(Session, SixCachedRectanglesGoOutAsOneCacheZip)
{
    constexpr int w = 512, h = 256;
    Host host(testframes::Host32(), true, w, h);
    host.Send(SetEncodings({rfbproto::kEncRaw, rfbproto::kEncCacheEnable}));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    const std::vector<rfb::Rect> rects = {
        rfb::Rect(401, 145, 498, 163), rfb::Rect(150, 171, 400, 174), rfb::Rect(407, 180, 508, 189),
        rfb::Rect(300, 196, 509, 201), rfb::Rect(155, 209, 502, 211), rfb::Rect(409, 238, 502, 253),
    };
    host.Desktop().pendingCached = RegionOf(rects);
    host.Send(UpdateRequest(true));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    ASSERT_EQ(host.dec.lastUpdateRects.size(), 1u);
    EXPECT_EQ(host.dec.lastUpdateRects[0].encoding, rfbproto::kEncCacheZip);
    EXPECT_EQ(host.dec.lastUpdateRects[0].x, 6);
    EXPECT_GT(host.dec.cacheZipLength, 6u * 8u + 6u * 8u / 100u + 8u);
    std::vector<uint16_t> want;
    for (const rfb::Rect& r : rects)
        for (int v : {r.left, r.top, r.width(), r.height()})
            want.push_back(static_cast<uint16_t>(v));
    EXPECT_EQ(host.dec.cacheZipRecords, want);
}

// Every other pixel of a 512 x 256 screen, offset by one on odd rows so no
// two rows merge: 65,536 rectangles, more than a 16-bit count can hold.
// Pieces are united in pairs, so building it takes n log n steps, not n^2.
rfb::Region Checkerboard(int w, int h)
{
    std::vector<rfb::Region> pieces;
    for (int y = 0; y < h; ++y)
        for (int x = y % 2; x < w; x += 2)
            pieces.emplace_back(rfb::Rect(x, y, x + 1, y + 1));
    while (pieces.size() > 1) {
        std::vector<rfb::Region> next;
        for (size_t i = 0; i + 1 < pieces.size(); i += 2)
            next.push_back(pieces[i].union_(pieces[i + 1]));
        if (pieces.size() % 2)
            next.push_back(pieces.back());
        pieces.swap(next);
    }
    return pieces.front();
}

struct CountCase {
    const char* name;
    bool lastRect;
};

class SessionRectCount : public ::testing::TestWithParam<CountCase> {};

// Too many rectangles for the count: with LastRect announced the count is
// unknown (0xFFFF) and a LastRect rectangle ends the update; without it the
// rectangles go out as the one rectangle around them.
TEST_P(SessionRectCount, TooManyRectangles)
{
    constexpr int w = 512, h = 256;
    Host host(testframes::Host32(), true, w, h);
    std::vector<int32_t> encodings = {rfbproto::kEncRaw};
    if (GetParam().lastRect)
        encodings.push_back(rfbproto::kEncLastRect);
    host.Send(SetEncodings(encodings));
    host.Send(UpdateRequest(false));
    ASSERT_EQ(host.Read(), rfbproto::kFramebufferUpdate);
    EXPECT_EQ(host.CountRects(rfbproto::kEncLastRect), 0) << "a countable update has no LastRect";

    const rfb::Region board = Checkerboard(w, h);
    ASSERT_EQ(board.numRects(), 65536u);
    host.Desktop().pendingChanged = board;
    host.Send(UpdateRequest(true));
    // The whole update is composed before its first byte goes out, which
    // takes a while under the sanitizers.
    ASSERT_EQ(host.Read(60000), rfbproto::kFramebufferUpdate);
    if (GetParam().lastRect) {
        EXPECT_EQ(host.dec.lastUpdateCount, rfbproto::kUnknownRectCount);
        ASSERT_EQ(host.dec.lastUpdateRects.size(), 65537u);
        EXPECT_EQ(host.dec.lastUpdateRects.back().encoding, rfbproto::kEncLastRect);
        EXPECT_EQ(host.CountRects(rfbproto::kEncRaw), 65536);
    } else {
        EXPECT_EQ(host.dec.lastUpdateCount, 1);
        ASSERT_EQ(host.dec.lastUpdateRects.size(), 1u);
        const testrfb::RectInfo& r = host.dec.lastUpdateRects[0];
        EXPECT_EQ(rfb::Rect(r.x, r.y, r.x + r.w, r.y + r.h), rfb::Rect(0, 0, w, h));
    }
    host.ExpectScreenMatches(testframes::Host32());
}

INSTANTIATE_TEST_SUITE_P(Cases, SessionRectCount,
                         ::testing::Values(CountCase{"LastRectAnnounced", true}, CountCase{"NoLastRect", false}),
                         [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

} // namespace
