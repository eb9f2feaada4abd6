// Key injection's decisions against a keyboard in memory: a US or French
// layout, the keys' state as Windows keeps it (a generic modifier moves its
// left side along), and every event sent written down as "<vk hex><d|u>"
// with an "e" for the extended flag.
#include "Customer/input/KeyInjection.h"

#include "Customer/encode/HostLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_lines;
void KeepLine(int, const char* line)
{
    g_lines.push_back(line);
}

bool Logged(const std::string& text)
{
    for (const std::string& l : g_lines)
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

enum class Layout { Us, Fr };

class MemoryKeyboard : public KeyboardSystem {
public:
    explicit MemoryKeyboard(Layout layout = Layout::Us, bool nt = true) : m_layout(layout), m_nt(nt) {}

    int16_t ScanChar(uint16_t ch) override
    {
        if (ch >= 'a' && ch <= 'z')
            return static_cast<int16_t>(ch - 'a' + 'A');
        if (ch >= 'A' && ch <= 'Z')
            return static_cast<int16_t>(0x100 | ch);
        if (ch >= '0' && ch <= '9')
            return static_cast<int16_t>(ch);
        if (ch == '!')
            return 0x131;
        if (ch == ' ')
            return 0x20;
        if (m_layout == Layout::Fr && ch == 0xE9)
            return 0x32;  // é on the 2 key
        return -1;
    }
    bool IsDown(uint8_t key) override { return down.count(key) != 0; }
    void Send(uint8_t key, bool extended, bool isDown) override
    {
        char s[8];
        std::snprintf(s, sizeof s, "%02X%s%s", key, extended ? "e" : "", isDown ? "d" : "u");
        if (!sent.empty())
            sent += ' ';
        sent += s;
        Track(key, isDown);
    }
    bool CtrlAltDel() override
    {
        ++ctrlAltDel;
        return true;
    }
    bool IsNt() override { return m_nt; }

    void Track(uint8_t key, bool isDown)
    {
        const uint8_t generic[3] = {vk::kShift, vk::kControl, vk::kMenu};
        const uint8_t left[3] = {vk::kLShift, vk::kLControl, vk::kLMenu};
        const uint8_t right[3] = {vk::kRShift, vk::kRControl, vk::kRMenu};
        for (int i = 0; i < 3; ++i) {
            if (key == generic[i]) {
                if (isDown) {
                    down.insert(generic[i]);
                    down.insert(left[i]);
                } else {
                    down.erase(generic[i]);
                    down.erase(left[i]);
                    down.erase(right[i]);
                }
                return;
            }
            if (key == left[i] || key == right[i]) {
                const uint8_t other = key == left[i] ? right[i] : left[i];
                if (isDown) {
                    down.insert(key);
                    down.insert(generic[i]);
                } else {
                    down.erase(key);
                    if (!down.count(other))
                        down.erase(generic[i]);
                }
                return;
            }
        }
        if (isDown)
            down.insert(key);
        else
            down.erase(key);
    }

    std::string sent;
    std::set<uint8_t> down;
    int ctrlAltDel = 0;

private:
    Layout m_layout;
    bool m_nt;
};

// Code page 437 from 0x80 up, as Unicode code points (the public table).
const uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

std::array<uint16_t, 256> Cp437()
{
    std::array<uint16_t, 256> u{};
    for (int i = 0; i < 128; ++i)
        u[static_cast<size_t>(i)] = static_cast<uint16_t>(i);  // the glyphs of 0x01-0x1F count as none
    for (int i = 0; i < 128; ++i)
        u[static_cast<size_t>(128 + i)] = kCp437High[i];
    return u;
}

const CodePageTable& Table437()
{
    static const CodePageTable t = BuildCodePageTable(Cp437());
    return t;
}

struct Ev {
    uint32_t keysym;
    bool down;
};

std::string Inject(MemoryKeyboard& kb, const std::vector<Ev>& events, const CodePageTable& table = Table437())
{
    KeyInjector injector(kb, table);
    for (const Ev& e : events)
        injector.InjectKeyEvent(e.keysym, e.down);
    return kb.sent;
}

class KeyInjection : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        m_old = SetHostLogSink(KeepLine);
    }
    void TearDown() override { SetHostLogSink(m_old); }

private:
    HostLogSink m_old = nullptr;
};

} // namespace

TEST(KeysymTable, HoldsExactlyTheNinetyRows)
{
    struct Row {
        uint32_t keysym;
        uint8_t vk;
        bool extended;
    };
    std::vector<Row> rows = {
        {0xFF08, 0x08, false}, {0xFF09, 0x09, false}, {0xFF0B, 0x0C, false}, {0xFF0D, 0x0D, false},
        {0xFF13, 0x13, false}, {0xFF1B, 0x1B, false}, {0xFFFF, 0x2E, true},  {0xFF21, 0x19, false},
        {0xFF2E, 0x15, false}, {0xFF50, 0x24, true},  {0xFF51, 0x25, true},  {0xFF52, 0x26, true},
        {0xFF53, 0x27, true},  {0xFF54, 0x28, true},  {0xFF55, 0x21, true},  {0xFF56, 0x22, true},
        {0xFF57, 0x23, true},  {0xFF60, 0x29, false}, {0xFF61, 0x2C, false}, {0xFF62, 0x2B, false},
        {0xFF63, 0x2D, true},  {0xFF6A, 0x2F, false}, {0xFF6B, 0x03, true},  {0xFF67, 0x5D, false},
        {0xFF80, 0x20, false}, {0xFF89, 0x09, false}, {0xFF8D, 0x0D, true},  {0xFF91, 0x70, false},
        {0xFF92, 0x71, false}, {0xFF93, 0x72, false}, {0xFF94, 0x73, false}, {0xFF95, 0x24, false},
        {0xFF96, 0x25, false}, {0xFF97, 0x26, false}, {0xFF98, 0x27, false}, {0xFF99, 0x28, false},
        {0xFF9A, 0x21, false}, {0xFF9B, 0x22, false}, {0xFF9C, 0x23, false}, {0xFF9D, 0x0C, false},
        {0xFF9E, 0x2D, false}, {0xFF9F, 0x2E, false}, {0xFFAA, 0x6A, false}, {0xFFAB, 0x6B, false},
        {0xFFAC, 0x6C, false}, {0xFFAD, 0x6D, false}, {0xFFAE, 0x6E, false}, {0xFFAF, 0x6F, true},
        {0xFFE1, 0x10, false}, {0xFFE2, 0xA1, false}, {0xFFE3, 0x11, false}, {0xFFE4, 0x11, true},
        {0xFFE9, 0x12, false}, {0xFFEA, 0xA5, true},  {0xFFEB, 0x5B, false}, {0xFFEC, 0x5C, false},
    };
    for (uint8_t i = 0; i < 10; ++i)
        rows.push_back({0xFFB0u + i, static_cast<uint8_t>(0x60 + i), false});
    for (uint8_t i = 0; i < 24; ++i)
        rows.push_back({0xFFBEu + i, static_cast<uint8_t>(0x70 + i), false});
    ASSERT_EQ(rows.size(), 90u);
    const auto& table = KeysymTable();
    EXPECT_EQ(table.size(), 90u);
    for (const Row& r : rows) {
        auto it = table.find(r.keysym);
        ASSERT_NE(it, table.end()) << std::hex << r.keysym;
        EXPECT_EQ(it->second.vk, r.vk) << std::hex << r.keysym;
        EXPECT_EQ(it->second.extended, r.extended) << std::hex << r.keysym;
    }
}

TEST(DeadKeys, ComposeOnlyWhatTheirTablesHold)
{
    struct Case {
        uint32_t dead;
        const char* from;
        std::vector<uint32_t> to;
    };
    const Case cases[] = {
        {0xFE50, "AEIOUaeiou", {0xC0, 0xC8, 0xCC, 0xD2, 0xD9, 0xE0, 0xE8, 0xEC, 0xF2, 0xF9}},
        {0xFE51, "AEIOUYaeiouy", {0xC1, 0xC9, 0xCD, 0xD3, 0xDA, 0xDD, 0xE1, 0xE9, 0xED, 0xF3, 0xFA, 0xFD}},
        {0xFE52, "AEIOUaeiou", {0xC2, 0xCA, 0xCE, 0xD4, 0xDB, 0xE2, 0xEA, 0xEE, 0xF4, 0xFB}},
        {0xFE53, "ANOano", {0xC3, 0xD1, 0xD5, 0xE3, 0xF1, 0xF5}},
        {0xFE57, "AEIOUaeiouy", {0xC4, 0xCB, 0xCF, 0xD6, 0xDC, 0xE4, 0xEB, 0xEF, 0xF6, 0xFC, 0xFF}},
        {0xFE5B, "Cc", {0xC7, 0xE7}},
    };
    for (const Case& c : cases)
        for (size_t i = 0; c.from[i]; ++i)
            EXPECT_EQ(ComposeDeadKey(c.dead, static_cast<uint8_t>(c.from[i])), c.to[i]) << std::hex << c.dead;
    // Letters a table lacks, and dead keys of the range with no table.
    EXPECT_EQ(ComposeDeadKey(0xFE50, 'n'), uint32_t('n'));
    EXPECT_EQ(ComposeDeadKey(0xFE5B, 'e'), uint32_t('e'));
    EXPECT_EQ(ComposeDeadKey(0xFE54, 'a'), uint32_t('a'));
    EXPECT_EQ(ComposeDeadKey(0xFE60, 'e'), uint32_t('e'));
}

TEST(CodePageTable, Cp437InKeysyms)
{
    const CodePageTable& t = Table437();
    const std::pair<int, uint32_t> entries[] = {
        {0x20, 0x20},   {0x41, 0x41},   {0x7E, 0x7E},   {0x80, 0xC7},   {0x81, 0xFC},   {0x82, 0xE9},
        {0x87, 0xE7},   {0x9B, 0xA2},   {0xA0, 0xE1},   {0xA4, 0xF1},   {0xA5, 0xD1},   {0xE1, 0xDF},
        {0xE6, 0xB5},   {0xFF, 0xA0},   {0x9E, 0x0FFF}, {0xB0, 0x0FFF}, {0xE0, 0x0FFF}, {0x01, 0x0FFF},
        {0x03, 0xFF8D}, {0x08, 0xFFFF}, {0x09, 0xFF09}, {0x0A, 0xFF0A}, {0x0D, 0xFF0D}, {0x1B, 0xFF1B},
        {0x7F, 0xFF08},
    };
    for (const auto& e : entries)
        EXPECT_EQ(t[static_cast<size_t>(e.first)], e.second) << std::hex << e.first;
    EXPECT_EQ(FindInCodePage(t, 0xA2), 155);
    EXPECT_EQ(FindInCodePage(t, 0xA4), -1);  // ¤ is not in 437
}

TEST_F(KeyInjection, UsLayoutCases)
{
    struct Case {
        const char* name;
        std::vector<Ev> events;
        const char* sent;
    };
    const Case cases[] = {
        {"a", {{0x61, true}, {0x61, false}}, "41d 41u"},
        {"A presses and releases shift around the key", {{0x41, true}, {0x41, false}}, "10d 41d 10u 41u"},
        {"held shift is lifted for 1 and put back",
         {{0xFFE1, true}, {0x31, true}, {0x31, false}, {0xFFE1, false}},
         "10d A0u 31d A0d 31u 10u"},
        {"dead acute and e: Alt 130, nothing on the key-up",
         {{0xFE51, true}, {0xFE51, false}, {0x65, true}, {0x65, false}},
         "12d 61d 61u 63d 63u 60d 60u 12u"},
        {"dead grave has no n", {{0xFE50, true}, {0x6E, true}, {0x6E, false}}, "4Ed 4Eu"},
        {"dead tilde n", {{0xFE53, true}, {0x6E, true}}, "12d 61d 61u 66d 66u 64d 64u 12u"},
        {"dead tilde N", {{0xFE53, true}, {0x4E, true}}, "12d 61d 61u 66d 66u 65d 65u 12u"},
        {"dead cedilla c", {{0xFE5B, true}, {0x63, true}}, "12d 61d 61u 63d 63u 65d 65u 12u"},
        {"a key-up leaves the dead key pending",
         {{0xFE51, true}, {0x61, false}, {0x61, true}},
         "41u 12d 61d 61u 66d 66u 60d 60u 12u"},
        {"cent through the OEM table", {{0xA2, true}, {0xA2, false}}, "12d 61d 61u 65d 65u 65d 65u 12u"},
        {"currency sign is in no table", {{0xA4, true}, {0xA4, false}}, ""},
        {"euro is not Latin-1 nor in the table", {{0x20AC, true}, {0x20AC, false}}, ""},
        {"extended bits",
         {{0xFF8D, true}, {0xFFFF, true}, {0xFF9F, true}, {0xFFAF, true}, {0xFFEA, true}},
         "0Ded 2Eed 2Ed 6Fed A5ed"},
        {"F1 and keypad 0", {{0xFFBE, true}, {0xFFBE, false}, {0xFFB0, true}}, "70d 70u 60d"},
    };
    for (const Case& c : cases) {
        MemoryKeyboard kb;
        EXPECT_EQ(Inject(kb, c.events), c.sent) << c.name;
    }
    EXPECT_TRUE(Logged("ignoring unrecognised Latin-1 keysym 0xa4"));
    EXPECT_TRUE(Logged("ignoring unknown keysym 8364"));
    EXPECT_TRUE(Logged(" ************** DEAD KEY"));
    EXPECT_TRUE(Logged(" Compose dead 0xfe51 0x65"));
    EXPECT_TRUE(Logged(" Composed 0xe9"));
}

TEST_F(KeyInjection, ShiftAlreadyHeldIsLeftAlone)
{
    MemoryKeyboard kb;
    kb.Track(vk::kShift, true);
    EXPECT_EQ(Inject(kb, {{0x41, true}, {0x41, false}}), "41d 41u");
    EXPECT_TRUE(kb.IsDown(vk::kShift));
}

TEST_F(KeyInjection, ModifierFakesAreLogged)
{
    MemoryKeyboard kb;
    Inject(kb, {{0x41, true}});
    EXPECT_TRUE(Logged("fake 16 down"));
    EXPECT_TRUE(Logged("fake 16 up"));
    EXPECT_TRUE(Logged("latin-1 key: keysym 65(0x41) vkCode 0x41 down 1"));
}

// Regression: after a dead key the letter's key-up released the plain
// letter's key, leaving the composed character's key down on the host.
TEST_F(KeyInjection, ComposedKeyIsReleasedByTheLettersKeyUp)
{
    MemoryKeyboard kb(Layout::Fr);
    EXPECT_EQ(Inject(kb, {{0xFE51, true}, {0xFE51, false}, {0x65, true}, {0x65, false}}), "32d 32u");
    EXPECT_TRUE(kb.down.empty());
}

TEST_F(KeyInjection, CtrlAltDeleteGoesToTheSecureAttentionPath)
{
    MemoryKeyboard kb;
    EXPECT_EQ(Inject(kb, {{0xFFE3, true}, {0xFFE9, true}, {0xFFFF, true}, {0xFFFF, false}, {0xFFE9, false},
                       {0xFFE3, false}}),
              "11d 12d 12u 11u");
    EXPECT_EQ(kb.ctrlAltDel, 1);
    // Delete alone, or with only Control, is a key.
    MemoryKeyboard plain;
    EXPECT_EQ(Inject(plain, {{0xFFE3, true}, {0xFFFF, true}, {0xFFFF, false}}), "11d 2Eed 2Eeu");
    EXPECT_EQ(plain.ctrlAltDel, 0);
}

TEST_F(KeyInjection, NineXFamilyUsesTheGenericModifiers)
{
    MemoryKeyboard kb(Layout::Us, false);
    EXPECT_EQ(Inject(kb, {{0xFFE2, true}, {0xFFEA, true}, {0xFFE3, true}, {0xFFE9, true}, {0xFFFF, true}}),
              "10d 12ed 11d 12d 2Eed");
    EXPECT_EQ(kb.ctrlAltDel, 0);
}

// An OEM 850 host has the cent sign at 189, not 155 (which is ø there).
TEST_F(KeyInjection, AltDigitsFollowTheHostsOemCodePage)
{
    std::array<uint16_t, 256> cp850 = Cp437();
    cp850[0x9B] = 0x00F8;
    cp850[0xBD] = 0x00A2;
    const CodePageTable table = BuildCodePageTable(cp850);
    MemoryKeyboard kb;
    EXPECT_EQ(Inject(kb, {{0xA2, true}}, table), "12d 61d 61u 68d 68u 69d 69u 12u");
}

TEST_F(KeyInjection, ReleaseKeyIfDownAndTheModifiers)
{
    MemoryKeyboard kb;
    kb.Track(vk::kLShift, true);
    kb.Track(vk::kRMenu, true);
    kb.Track(vk::kRControl, true);
    ReleaseKeyIfDown(kb, 0x41);  // up: nothing
    EXPECT_EQ(kb.sent, "");
    ReleaseModifiers(kb);
    EXPECT_EQ(kb.sent, "A0u A3eu A5eu");
    EXPECT_TRUE(kb.down.empty());
    EXPECT_TRUE(Logged("setshiftstate 160 - (down->up)"));
    EXPECT_TRUE(Logged("new state 160 (up)"));

    MemoryKeyboard old(Layout::Us, false);
    old.Track(vk::kShift, true);
    ReleaseModifiers(old);
    EXPECT_EQ(old.sent, "10u");
}
