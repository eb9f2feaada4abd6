// The participant's input as wire bytes: keys through a test double of the
// keyboard layout, the pointer with its emulation, scale, scroll and wheel,
// the monitor request and the clipboard text.
#include "Technician/connection/ViewerInput.h"
#include "Technician/connection/tests/ReaderFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace viewer::testing {
namespace {

constexpr uint8_t kDownBit = 0x80;

// The layout's state and a ToAscii given by the test; each call's state is kept.
class FakeLayout : public KeyboardLayout {
public:
    using Answer = std::function<int(unsigned vk, const uint8_t* keys, uint8_t* chars)>;
    explicit FakeLayout(Answer answer) : m_answer(std::move(answer)) {}
    FakeLayout& down(std::initializer_list<unsigned> keys)
    {
        for (unsigned k : keys)
            m_keys[k] = kDownBit;
        return *this;
    }
    void state(uint8_t keys[256]) override { std::copy(m_keys, m_keys + 256, keys); }
    int toAscii(unsigned virtualKey, unsigned, const uint8_t keys[256], uint8_t chars[2]) override
    {
        calls.push_back(std::vector<uint8_t>(keys, keys + 256));
        return m_answer(virtualKey, keys, chars);
    }
    std::vector<std::vector<uint8_t>> calls;

private:
    Answer m_answer;
    uint8_t m_keys[256] = {};
};

// A layout that types one character, or a dead key (negative n).
FakeLayout Types(int n, uint8_t first, uint8_t second = 0)
{
    return FakeLayout([=](unsigned, const uint8_t*, uint8_t* chars) {
        chars[0] = first;
        chars[1] = second;
        return n;
    });
}

std::vector<KeyStroke> Strokes(unsigned vk, uint32_t keyData, FakeLayout& layout)
{
    const KeyStrokes s = StrokesFor(TranslateKeyToKeysym(vk, keyData, layout), (keyData & 0x80000000u) == 0);
    return std::vector<KeyStroke>(s.strokes, s.strokes + s.count);
}

constexpr uint32_t kExtended = 1u << 24;
constexpr uint32_t kUp = 0x80000000u;

TEST(ViewerKeys, SpecialMapHasItsSeventyFiveKeys)
{
    int keys = 0;
    for (unsigned k = 0; k < 256; ++k)
        keys += SpecialKeysym(k) != 0;
    EXPECT_EQ(keys + (SpecialKeysym(vk::kExtendedReturn) != 0), 75);

    const struct {
        unsigned vk;
        uint32_t data;
        uint32_t keysym;
    } rows[] = {
        {vk::kReturn, 0, 0xFF0D},      {vk::kReturn, kExtended, 0xFF8D}, {vk::kDelete, kExtended, 0xFFFF},
        {vk::kF1, 0, 0xFFBE},          {vk::kF24, 0, 0xFFD5},            {vk::kNumpad0, 0, 0xFFB0},
        {vk::kNumpad0 + 9, 0, 0xFFB9}, {vk::kSpace, 0, 0x20},            {vk::kShift, 0, 0xFFE1},
        {vk::kControl, 0, 0xFFE3},     {vk::kControl, kExtended, 0xFFE4}, {vk::kMenu, 0, 0xFFE9},
        {vk::kMenu, kExtended, 0xFFEA}, {vk::kCancel, 0, 0xFF6B},        {vk::kDivide, kExtended, 0xFFAF},
        {vk::kLeft, kExtended, 0xFF51}, {vk::kBack, 0, 0xFF08},          {vk::kEscape, 0, 0xFF1B},
    };
    for (const auto& r : rows) {
        FakeLayout layout = Types(1, 'z');
        const KeyTranslation t = TranslateKeyToKeysym(r.vk, r.data, layout);
        ASSERT_EQ(t.count, 1) << std::hex << r.vk;
        EXPECT_EQ(t.keysyms[0], r.keysym) << std::hex << r.vk;
        EXPECT_TRUE(layout.calls.empty()) << "the map needs no layout";
    }
}

TEST(ViewerKeys, CharactersThroughTheLayout)
{
    const struct {
        const char* what;
        int n;
        uint8_t a, b;
        std::vector<uint32_t> keysyms;
    } rows[] = {
        {"a letter", 1, 'a', 0, {0x61}},
        {"nothing typed", 0, 0, 0, {}},
        {"dead apostrophe", -1, '\'', 0, {0xFE51}},
        {"dead acute", -1, 0xB4, 0, {0xFE51}},
        {"dead circumflex", -1, '^', 0, {0xFE52}},
        {"dead grave", -1, '`', 0, {0xFE50}},
        {"dead tilde", -1, '~', 0, {0xFE53}},
        {"dead diaeresis", -1, 0xA8, 0, {0xFE57}},
        {"another dead key", -1, '"', 0, {}},
        {"acute pair", 2, 0xB4, 0xF9, {0xFE51}},
        {"grave pair", 2, '`', 0xB5, {0xFE50}},
        {"other pair", 2, 'a', 'b', {}},
    };
    for (const auto& r : rows) {
        FakeLayout layout = Types(r.n, r.a, r.b);
        const KeyTranslation t = TranslateKeyToKeysym('A', 0x001E0001, layout);
        EXPECT_EQ(std::vector<uint32_t>(t.keysyms, t.keysyms + t.count), r.keysyms) << r.what;
        EXPECT_EQ(layout.calls.size(), 1u) << r.what;
        EXPECT_EQ(t.releaseMask, 0u) << r.what;
    }
}

TEST(ViewerKeys, ControlLetterGoesWithoutControlInTheState)
{
    FakeLayout layout([](unsigned, const uint8_t* keys, uint8_t* chars) {
        chars[0] = (keys[vk::kControl] & kDownBit) ? 0x03 : 'c';
        return 1;
    });
    layout.down({vk::kControl, vk::kLControl});
    EXPECT_EQ(Strokes('C', 0, layout), (std::vector<KeyStroke>{{'c', true}}));
    ASSERT_EQ(layout.calls.size(), 1u);
    EXPECT_EQ(layout.calls[0][vk::kLControl], 0);
}

TEST(ViewerKeys, CtrlAltCharactersLiftTheModifiers)
{
    auto at = [](unsigned, const uint8_t* keys, uint8_t* chars) {
        chars[0] = (keys[vk::kControl] & kDownBit) ? '@' : 'q';
        return 1;
    };
    // Left Ctrl + left Alt (ctrl+alt+q on a German layout).
    FakeLayout left(at);
    left.down({vk::kControl, vk::kMenu, vk::kLControl, vk::kLMenu});
    EXPECT_EQ(Strokes('Q', 0, left), (std::vector<KeyStroke>{{0xFFE3, false},
                                                              {0xFFE9, false},
                                                              {'@', true},
                                                              {0xFFE9, false},
                                                              {0xFFE3, false}}));
    // AltGr (left Ctrl + right Alt): right Alt is put back down.
    FakeLayout altGr(at);
    altGr.down({vk::kControl, vk::kMenu, vk::kLControl, vk::kRMenu});
    EXPECT_EQ(Strokes('Q', kUp, altGr), (std::vector<KeyStroke>{{0xFFE3, false},
                                                                {0xFFEA, false},
                                                                {'@', false},
                                                                {0xFFEA, true},
                                                                {0xFFE3, false}}));
    // Regression: with no side shown down all three are lifted, and none is
    // put back (right Alt was pressed on the host and never released).
    FakeLayout noSide(at);
    noSide.down({vk::kControl, vk::kMenu});
    EXPECT_EQ(Strokes('Q', 0, noSide),
              (std::vector<KeyStroke>{{0xFFE3, false}, {0xFFE9, false}, {0xFFEA, false}, {'@', true}}));
    // Ctrl+Alt with a key that types nothing printable: the plain letter.
    FakeLayout plain([](unsigned, const uint8_t* keys, uint8_t* chars) {
        chars[0] = (keys[vk::kControl] & kDownBit) ? 0x04 : 'd';
        return 1;
    });
    plain.down({vk::kControl, vk::kMenu, vk::kLControl, vk::kLMenu});
    EXPECT_EQ(Strokes('D', 0, plain), (std::vector<KeyStroke>{{'d', true}}));
    EXPECT_EQ(plain.calls.size(), 2u);
}

TEST(ViewerKeys, ReleaseLiftsWhatThePressSent)
{
    // Regression: a layout that types nothing on a release (Wine's ToAscii)
    // left the letter down on the host.
    FakeLayout downOnly([](unsigned, const uint8_t*, uint8_t* chars) {
        chars[0] = 'a';
        return 1;
    });
    RecordingWriter out;
    KeyInput keys;
    keys.key('A', 0x001E0001, downOnly, out);
    FakeLayout nothing = Types(0, 0);
    keys.key('A', 0xC01E0001, nothing, out);
    // A release without a press is translated as it comes.
    keys.key('B', 0xC0300001, nothing, out);
    FakeLayout dead = Types(-1, '\'');
    keys.key(0xDE, 0x00280001, dead, out);
    FakeLayout after = Types(1, 0xE9);
    keys.key(0xDE, 0xC0280001, after, out);
    EXPECT_EQ(out.sent, (std::vector<Bytes>{KeyEventMessage(0x61, true), KeyEventMessage(0x61, false),
                                            KeyEventMessage(0xFE51, true), KeyEventMessage(0xFE51, false)}));
}

TEST(ViewerKeys, KeyEventBytesAndFocusLoss)
{
    RecordingWriter out;
    FakeLayout shifted = Types(1, 'A');
    KeyInput keys;
    keys.key(vk::kShift, 0x002A0001, shifted, out);
    keys.key('A', 0x001E0001, shifted, out);
    keys.key('A', 0xC01E0001, shifted, out);
    keys.key(vk::kShift, 0xC02A0001, shifted, out);
    EXPECT_EQ(out.sent, (std::vector<Bytes>{{4, 1, 0, 0, 0, 0, 0xFF, 0xE1},
                                            {4, 1, 0, 0, 0, 0, 0, 0x41},
                                            {4, 0, 0, 0, 0, 0, 0, 0x41},
                                            {4, 0, 0, 0, 0, 0, 0xFF, 0xE1}}));
    out.sent.clear();
    SendModifierReleases(out);
    std::vector<Bytes> ups;
    for (uint32_t sym : {0xFFE9u, 0xFFE3u, 0xFFE1u, 0xFFEAu, 0xFFE4u, 0xFFE2u})
        ups.push_back(KeyEventMessage(sym, false));
    EXPECT_EQ(out.sent, ups);
    EXPECT_EQ(KeyEventMessage(0xFF0D, true), (Bytes{4, 1, 0, 0, 0, 0, 0xFF, 0x0D}));
}

Bytes Pointer(uint8_t mask, int x, int y)
{
    return PointerEventMessage(mask, x, y);
}

ViewScale HalfScrolled()
{
    ViewScale s(true, false, 50, 100);
    s.setFramebuffer(1000, 1000);
    s.setClientSize(100, 100);
    s.scrollTo(10, 20);
    return s;
}

TEST(ViewerPointer, MasksScaleAndWheelInThePath)
{
    PointerOptions plain;
    plain.emulateThreeButtons = false;
    PointerOptions swapped = plain;
    swapped.swapMouse = true;
    const ViewScale none;
    const struct {
        const char* what;
        PointerOptions options;
        unsigned flags;
        std::vector<Bytes> sent;
    } rows[] = {
        {"left", plain, kMkLeft, {Pointer(1, 7, 9)}},
        {"middle", plain, kMkMiddle, {Pointer(2, 7, 9)}},
        {"right", plain, kMkRight, {Pointer(4, 7, 9)}},
        {"swapped right", swapped, kMkRight, {Pointer(2, 7, 9)}},
        {"swapped middle", swapped, kMkMiddle, {Pointer(4, 7, 9)}},
        {"wheel up", plain, 120u << 16, {Pointer(8, 7, 9), Pointer(0, 7, 9)}},
        {"wheel down", plain, static_cast<unsigned>(-120) << 16, {Pointer(16, 7, 9), Pointer(0, 7, 9)}},
    };
    for (const auto& r : rows) {
        RecordingWriter out;
        PointerInput p(r.options);
        p.event(7, 9, r.flags, PointerMessage::Move, none, out);
        EXPECT_EQ(out.sent, r.sent) << r.what;
    }

    RecordingWriter out;
    PointerInput p(plain);
    p.event(100, 100, 0, PointerMessage::Move, HalfScrolled(), out);
    // Unscaled with a numerator of 0: the scroll only, no division.
    ViewScale zero(true, false, 0, 100);
    p.event(5, 6, 0, PointerMessage::Move, zero, out);
    p.event(-3, 70000, 0, PointerMessage::Move, none, out);
    EXPECT_EQ(out.sent, (std::vector<Bytes>{Pointer(0, 220, 240), Pointer(0, 5, 6), Pointer(0, 0, 0xFFFF)}));
    EXPECT_EQ(Pointer(5, 0x123, 0x456), (Bytes{5, 5, 0x01, 0x23, 0x04, 0x56}));
}

TEST(ViewerPointer, FrameWheelClicksAtTheLastPoint)
{
    PointerOptions plain;
    plain.emulateThreeButtons = false;
    const ViewScale none;
    RecordingWriter out;
    PointerInput p(plain);
    p.event(3, 4, kMkLeft, PointerMessage::LeftDown, none, out);
    out.sent.clear();
    p.wheel(240, out);
    EXPECT_EQ(out.sent, (std::vector<Bytes>{Pointer(9, 3, 4), Pointer(1, 3, 4), Pointer(9, 3, 4), Pointer(1, 3, 4)}));
    out.sent.clear();
    p.event(3, 4, 0, PointerMessage::LeftUp, none, out);
    out.sent.clear();
    p.wheel(-120, out);
    EXPECT_EQ(out.sent, (std::vector<Bytes>{Pointer(16, 3, 4), Pointer(0, 3, 4)}));
    out.sent.clear();
    p.wheel(0, out);
    EXPECT_TRUE(out.sent.empty());
}

TEST(ViewerPointer, ThreeButtonEmulation)
{
    const ViewScale none;
    using Timer = PointerInput::Timer;
    {
        // Left then right within the fuzz: one middle press, released as middle.
        RecordingWriter out;
        PointerInput p;
        EXPECT_EQ(p.event(10, 10, kMkLeft, PointerMessage::LeftDown, none, out), Timer::Start);
        EXPECT_TRUE(out.sent.empty());
        EXPECT_EQ(p.event(13, 12, kMkLeft | kMkRight, PointerMessage::RightDown, none, out), Timer::Kill);
        EXPECT_EQ(p.event(13, 12, kMkRight, PointerMessage::LeftUp, none, out), Timer::Keep);
        EXPECT_EQ(p.event(13, 12, 0, PointerMessage::RightUp, none, out), Timer::Keep);
        EXPECT_EQ(out.sent, (std::vector<Bytes>{Pointer(2, 13, 12), Pointer(2, 13, 12), Pointer(0, 13, 12)}));
    }
    {
        // A lone press goes out when the timer fires.
        RecordingWriter out;
        PointerInput p;
        p.event(10, 10, kMkLeft, PointerMessage::LeftDown, none, out);
        p.timerFired(none, out);
        p.timerFired(none, out);
        EXPECT_EQ(out.sent, (std::vector<Bytes>{Pointer(1, 10, 10)}));
        EXPECT_FALSE(p.holding());
    }
    {
        // A move beyond the fuzz sends the held press first; a small move
        // goes without the held button.
        RecordingWriter out;
        PointerInput p;
        p.event(10, 10, kMkRight, PointerMessage::RightDown, none, out);
        EXPECT_EQ(p.event(12, 10, kMkRight, PointerMessage::Move, none, out), Timer::Keep);
        EXPECT_EQ(p.event(15, 10, kMkRight, PointerMessage::Move, none, out), Timer::Kill);
        EXPECT_EQ(out.sent, (std::vector<Bytes>{Pointer(0, 12, 10), Pointer(4, 10, 10), Pointer(4, 15, 10)}));
    }
    {
        // A quick click: the press, then the release.
        RecordingWriter out;
        PointerInput p;
        p.event(10, 10, kMkLeft, PointerMessage::LeftDown, none, out);
        EXPECT_EQ(p.event(10, 10, 0, PointerMessage::LeftUp, none, out), Timer::Kill);
        EXPECT_EQ(out.sent, (std::vector<Bytes>{Pointer(1, 10, 10), Pointer(0, 10, 10)}));
    }
}

TEST(ViewerPointer, MonitorRequest)
{
    const ViewScale none;
    EXPECT_EQ(MonitorRequest(kSetSWFirstMonitor, kSetSWFirstMonitor, none), (Bytes{10, 0, 0, 6, 0, 6}));
    EXPECT_EQ(MonitorRequest(kSetSWAllMonitors, kSetSWAllMonitors, none), (Bytes{10, 0, 0, 1, 0, 1}));
    EXPECT_EQ(MonitorRequest(100, 100, HalfScrolled()), (Bytes{10, 0, 0, 220, 0, 240}));
}

TEST(ViewerClipboard, OneWholeMessage)
{
    EXPECT_EQ(ClientCutTextMessage("a\nb"), (Bytes{6, 0, 0, 0, 0, 0, 0, 3, 'a', '\n', 'b'}));
    EXPECT_EQ(ClientCutTextMessage(""), (Bytes{6, 0, 0, 0, 0, 0, 0, 0}));
}

} // namespace
} // namespace viewer::testing
