#include "Customer/input/KeyInjection.h"

#include "Customer/encode/HostLog.h"

namespace {

// Windows virtual keys of the table.
enum : uint8_t {
    VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D, VK_PAUSE = 0x13, VK_CAPITAL = 0x14,
    VK_KANA = 0x15, VK_KANJI = 0x19, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22,
    VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
    VK_SELECT = 0x29, VK_EXECUTE = 0x2B, VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D, VK_HELP = 0x2F,
    VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C,
    VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F1 = 0x70, VK_CANCEL = 0x03,
};

std::map<uint32_t, KeysymKey> MakeKeysymTable()
{
    std::map<uint32_t, KeysymKey> t;
    auto row = [&](uint32_t keysym, uint8_t v, bool extended = false) { t[keysym] = KeysymKey{v, extended}; };
    row(0xFF08, VK_BACK);
    row(0xFF09, VK_TAB);
    row(0xFF0B, VK_CLEAR);
    row(0xFF0D, VK_RETURN);
    row(0xFF13, VK_PAUSE);
    row(0xFF1B, VK_ESCAPE);
    row(0xFFFF, vk::kDelete, true);
    row(0xFF21, VK_KANJI);
    row(0xFF2E, VK_KANA);
    const uint8_t moves[8] = {VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_PRIOR, VK_NEXT, VK_END};
    for (uint32_t i = 0; i < 8; ++i) {
        row(0xFF50 + i, moves[i], true);   // Home .. End
        row(0xFF95 + i, moves[i], false);  // KP_Home .. KP_End
    }
    row(0xFF60, VK_SELECT);
    row(0xFF61, VK_SNAPSHOT);
    row(0xFF62, VK_EXECUTE);
    row(0xFF63, VK_INSERT, true);
    row(0xFF6A, VK_HELP);
    row(0xFF6B, VK_CANCEL, true);
    row(0xFF67, VK_APPS);
    row(0xFF80, VK_SPACE);
    row(0xFF89, VK_TAB);
    row(0xFF8D, VK_RETURN, true);
    for (uint32_t i = 0; i < 4; ++i)
        row(0xFF91 + i, static_cast<uint8_t>(VK_F1 + i));  // KP_F1 .. KP_F4
    row(0xFF9D, VK_CLEAR);
    row(0xFF9E, VK_INSERT);
    row(0xFF9F, vk::kDelete);
    row(0xFFAA, VK_MULTIPLY);
    row(0xFFAB, VK_ADD);
    row(0xFFAC, VK_SEPARATOR);
    row(0xFFAD, VK_SUBTRACT);
    row(0xFFAE, VK_DECIMAL);
    row(0xFFAF, VK_DIVIDE, true);
    for (uint32_t i = 0; i < 10; ++i)
        row(0xFFB0 + i, static_cast<uint8_t>(vk::kNumpad0 + i));
    for (uint32_t i = 0; i < 24; ++i)
        row(0xFFBE + i, static_cast<uint8_t>(VK_F1 + i));
    row(0xFFE1, vk::kShift);
    row(0xFFE2, vk::kRShift);
    row(0xFFE3, vk::kControl);
    row(0xFFE4, vk::kControl, true);
    row(0xFFE9, vk::kMenu);
    row(0xFFEA, vk::kRMenu, true);
    row(0xFFEB, VK_LWIN);
    row(0xFFEC, VK_RWIN);
    return t;
}

// Built before main, read-only afterwards.
const std::map<uint32_t, KeysymKey> g_keysyms = MakeKeysymTable();

struct Composition {
    uint32_t deadKey;
    const char* from;
    const uint8_t* to;
};

const uint8_t kGraveTo[] = {0xC0, 0xC8, 0xCC, 0xD2, 0xD9, 0xE0, 0xE8, 0xEC, 0xF2, 0xF9};
const uint8_t kAcuteTo[] = {0xC1, 0xC9, 0xCD, 0xD3, 0xDA, 0xDD, 0xE1, 0xE9, 0xED, 0xF3, 0xFA, 0xFD};
const uint8_t kCircumflexTo[] = {0xC2, 0xCA, 0xCE, 0xD4, 0xDB, 0xE2, 0xEA, 0xEE, 0xF4, 0xFB};
// 'A' and 'N' make the capitals of what 'a' and 'n' make.
const uint8_t kTildeTo[] = {0xC3, 0xD1, 0xD5, 0xE3, 0xF1, 0xF5};
const uint8_t kDiaeresisTo[] = {0xC4, 0xCB, 0xCF, 0xD6, 0xDC, 0xE4, 0xEB, 0xEF, 0xF6, 0xFC, 0xFF};
const uint8_t kCedillaTo[] = {0xC7, 0xE7};

const Composition kCompositions[] = {
    {0xFE50, "AEIOUaeiou", kGraveTo},
    {0xFE51, "AEIOUYaeiouy", kAcuteTo},
    {0xFE52, "AEIOUaeiou", kCircumflexTo},
    {0xFE53, "ANOano", kTildeTo},
    {0xFE57, "AEIOUaeiouy", kDiaeresisTo},
    {0xFE5B, "Cc", kCedillaTo},
};

bool IsDeadKey(uint32_t keysym)
{
    return keysym >= 0xFE50 && keysym <= 0xFE60;
}

bool IsLatin1(uint32_t keysym)
{
    return (keysym >= 0x20 && keysym <= 0x7E) || (keysym >= 0xA0 && keysym <= 0xFF);
}

} // namespace

const std::map<uint32_t, KeysymKey>& KeysymTable()
{
    return g_keysyms;
}

uint32_t ComposeDeadKey(uint32_t deadKey, uint32_t character)
{
    for (const Composition& c : kCompositions) {
        if (c.deadKey != deadKey)
            continue;
        for (std::size_t i = 0; c.from[i]; ++i)
            if (static_cast<uint8_t>(c.from[i]) == character)
                return c.to[i];
    }
    return character;
}

CodePageTable BuildCodePageTable(const std::array<uint16_t, 256>& unicode)
{
    CodePageTable t;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const uint32_t u = unicode[i];
        // Latin-1 keysyms are the characters' code points.
        t[i] = IsLatin1(u) ? u : 0x0FFF;
    }
    t[0x03] = 0xFF8D;
    t[0x08] = 0xFFFF;
    t[0x09] = 0xFF09;
    t[0x0A] = 0xFF0A;
    t[0x0D] = 0xFF0D;
    t[0x1B] = 0xFF1B;
    t[0x7F] = 0xFF08;
    return t;
}

int FindInCodePage(const CodePageTable& table, uint32_t keysym)
{
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i] == keysym)
            return static_cast<int>(i);
    return -1;
}

void KeyStateModifier::Fake(bool down)
{
    HostLog(kHostLogDebugInfo, down ? "fake %d down\n" : "fake %d up\n", m_vk);
    m_system.Send(m_vk, false, down);
}

void KeyStateModifier::FakeKeyDown()
{
    if (m_system.IsDown(m_vk))
        return;
    Fake(true);
    m_pressed = true;
}

void KeyStateModifier::FakeKeyUp()
{
    if (!m_system.IsDown(m_vk))
        return;
    Fake(false);
    m_released = true;
}

void KeyStateModifier::RestoreKeyState()
{
    if (m_pressed)
        Fake(false);
    else if (m_released)
        Fake(true);
    m_pressed = m_released = false;
}

void ReleaseKeyIfDown(KeyboardSystem& system, uint8_t key)
{
    if (!system.IsDown(key))
        return;
    HostLog(kHostLogDebugInfo, "setshiftstate %d - (%s->%s)\n", key, "down", "up");
    system.Send(key, key == vk::kRControl || key == vk::kRMenu, false);
    HostLog(kHostLogDebugInfo, "new state %d (%s)\n", key, system.IsDown(key) ? "down" : "up");
}

void ReleaseModifiers(KeyboardSystem& system)
{
    if (system.IsNt()) {
        for (uint8_t key : {vk::kLShift, vk::kLControl, vk::kLMenu, vk::kRShift, vk::kRControl, vk::kRMenu})
            ReleaseKeyIfDown(system, key);
    } else {
        for (uint8_t key : {vk::kShift, vk::kControl, vk::kMenu})
            ReleaseKeyIfDown(system, key);
    }
}

void KeyInjector::InjectKeyEvent(uint32_t keysym, bool down)
{
    HostLog(kHostLogDebugWarn, " keysym 0x%x\n", keysym);
    if (IsDeadKey(keysym)) {
        m_deadKey = keysym;
        HostLog(kHostLogDebugWarn, " ************** DEAD KEY\n");
        return;
    }
    if (IsLatin1(keysym))
        InjectLatin1(keysym, down);
    else
        InjectTableKey(keysym, down);
}

void KeyInjector::InjectLatin1(uint32_t keysym, bool down)
{
    if (!down) {
        // The key its key-down pressed, which a dead key may have changed;
        // nothing when that went as Alt and digits.
        auto it = m_pressed.find(keysym);
        if (it != m_pressed.end()) {
            const uint8_t key = it->second;
            m_pressed.erase(it);
            if (key)
                m_system.Send(key, false, false);
            return;
        }
        const int16_t s = m_system.ScanChar(static_cast<uint16_t>(keysym));
        if (s != -1 && (s & 0xFF) != 0xFF)
            m_system.Send(static_cast<uint8_t>(s & 0xFF), false, false);
        return;
    }
    const uint32_t typed = keysym;
    if (m_deadKey) {
        HostLog(kHostLogDebugWarn, " Compose dead 0x%x 0x%x\n", m_deadKey, keysym);
        keysym = ComposeDeadKey(m_deadKey, keysym);
        m_deadKey = 0;
        HostLog(kHostLogDebugWarn, " Composed 0x%x\n", keysym);
    }
    const int16_t s = m_system.ScanChar(static_cast<uint16_t>(keysym));
    HostLog(kHostLogDebugWarn, " SHORT s %i\n", s);
    if (s == -1 || (s & 0xFF) == 0xFF) {
        HostLog(kHostLogDebugWarn, "down\n");
        HostLog(kHostLogDebugWarn, " Found key\n");
        m_pressed[typed] = 0;
        const int index = FindInCodePage(m_codePage, keysym);
        if (index < 0) {
            HostLog(kHostLogDebugWarn, "ignoring unrecognised Latin-1 keysym 0x%x\n", keysym);
            return;
        }
        TypeAltDigits(index);
        return;
    }
    const uint8_t key = static_cast<uint8_t>(s & 0xFF);
    const int shifts = (s >> 8) & 0xFF;
    KeyStateModifier control(m_system, vk::kControl), alt(m_system, vk::kMenu), shift(m_system, vk::kShift);
    KeyStateModifier lshift(m_system, vk::kLShift), rshift(m_system, vk::kRShift);
    if (shifts & 2)
        control.FakeKeyDown();
    if (shifts & 4)
        alt.FakeKeyDown();
    if (shifts & 1) {
        shift.FakeKeyDown();
    } else if (m_system.IsNt()) {
        lshift.FakeKeyUp();
        rshift.FakeKeyUp();
    } else {
        shift.FakeKeyUp();
    }
    HostLog(kHostLogDebugInfo, "latin-1 key: keysym %d(0x%x) vkCode 0x%x down %d\n", keysym, keysym, key, 1);
    m_system.Send(key, false, true);
    m_pressed[typed] = key;
    rshift.RestoreKeyState();
    lshift.RestoreKeyState();
    shift.RestoreKeyState();
    alt.RestoreKeyState();
    control.RestoreKeyState();
}

void KeyInjector::TypeAltDigits(int index)
{
    m_system.Send(vk::kMenu, false, true);
    const int digits[3] = {index / 100, index / 10 % 10, index % 10};
    for (int d : digits) {
        const uint8_t key = static_cast<uint8_t>(vk::kNumpad0 + d);
        m_system.Send(key, false, true);
        m_system.Send(key, false, false);
    }
    m_system.Send(vk::kMenu, false, false);
}

void KeyInjector::InjectTableKey(uint32_t keysym, bool down)
{
    const auto it = g_keysyms.find(keysym);
    if (it == g_keysyms.end()) {
        HostLog(kHostLogDebugWarn, "ignoring unknown keysym %d\n", keysym);
        return;
    }
    uint8_t key = it->second.vk;
    const bool nt = m_system.IsNt();
    if (key == vk::kDelete) {
        if (down && nt && m_system.IsDown(vk::kControl) && m_system.IsDown(vk::kMenu)) {
            m_deleteDiverted = true;
            m_system.CtrlAltDel();
            return;
        }
        if (!down && m_deleteDiverted) {
            m_deleteDiverted = false;
            return;
        }
    }
    if (!nt) {
        if (key == vk::kRShift)
            key = vk::kShift;
        else if (key == vk::kRControl)
            key = vk::kControl;
        else if (key == vk::kRMenu)
            key = vk::kMenu;
    }
    m_system.Send(key, it->second.extended, down);
}
