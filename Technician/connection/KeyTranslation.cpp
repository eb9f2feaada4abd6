#include "Technician/connection/KeyTranslation.h"

namespace viewer {

namespace {

struct SpecialKey {
    unsigned virtualKey;
    uint32_t keysym;
};

constexpr SpecialKey kSpecialKeys[] = {
    {vk::kBack, 0xFF08},     {vk::kTab, 0xFF09},      {vk::kClear, 0xFF0B},     {vk::kReturn, 0xFF0D},
    {vk::kLShift, 0xFFE1},   {vk::kShift, 0xFFE1},    {vk::kRShift, 0xFFE2},    {vk::kLControl, 0xFFE3},
    {vk::kControl, 0xFFE3},  {vk::kRControl, 0xFFE4}, {vk::kLMenu, 0xFFE9},     {vk::kMenu, 0xFFE9},
    {vk::kRMenu, 0xFFEA},    {vk::kPause, 0xFF13},    {vk::kCapital, 0xFFE5},   {vk::kEscape, 0xFF1B},
    {vk::kSpace, 0x20},      {vk::kPrior, 0xFF55},    {vk::kNext, 0xFF56},      {vk::kEnd, 0xFF57},
    {vk::kHome, 0xFF50},     {vk::kLeft, 0xFF51},     {vk::kUp, 0xFF52},        {vk::kRight, 0xFF53},
    {vk::kDown, 0xFF54},     {vk::kSelect, 0xFF60},   {vk::kExecute, 0xFF62},   {vk::kSnapshot, 0xFF61},
    {vk::kInsert, 0xFF63},   {vk::kDelete, 0xFFFF},   {vk::kHelp, 0xFF6A},      {vk::kMultiply, 0xFFAA},
    {vk::kAdd, 0xFFAB},      {vk::kSeparator, 0xFFAC}, {vk::kSubtract, 0xFFAD}, {vk::kDecimal, 0xFFAE},
    {vk::kDivide, 0xFFAF},   {vk::kNumLock, 0xFF7F},  {vk::kScroll, 0xFF14},    {vk::kExtendedReturn, 0xFF8D},
    {vk::kCancel, 0xFF6B},
};

constexpr unsigned kDown = 0x80;

bool Printable(uint8_t c)
{
    return (c >= 32 && c <= 126) || c >= 160;
}

uint32_t DeadKeysym(uint8_t c)
{
    switch (c) {
    case '\'':
    case 0xB4:  // the acute accent itself, as layouts with a dead acute give it
        return 0xFE51;
    case '^': return 0xFE52;
    case '`': return 0xFE50;
    case '~': return 0xFE53;
    case 0xA8: return 0xFE57;
    default: return 0;
    }
}

void Add(KeyTranslation& t, uint32_t sym)
{
    if (t.count < KeyTranslation::kMax)
        t.keysyms[t.count++] = sym;
}

} // namespace

uint32_t SpecialKeysym(unsigned virtualKey)
{
    if (virtualKey >= vk::kNumpad0 && virtualKey <= vk::kNumpad0 + 9)
        return 0xFFB0 + (virtualKey - vk::kNumpad0);
    if (virtualKey >= vk::kF1 && virtualKey <= vk::kF24)
        return 0xFFBE + (virtualKey - vk::kF1);
    for (const SpecialKey& k : kSpecialKeys)
        if (k.virtualKey == virtualKey)
            return k.keysym;
    return 0;
}

KeyTranslation TranslateKeyToKeysym(unsigned virtualKey, uint32_t keyData, KeyboardLayout& layout)
{
    KeyTranslation t;
    if (keyData & (1u << 24)) {
        if (virtualKey == vk::kReturn)
            virtualKey = vk::kExtendedReturn;
        else if (virtualKey == vk::kControl)
            virtualKey = vk::kRControl;
        else if (virtualKey == vk::kMenu)
            virtualKey = vk::kRMenu;
    }
    if (const uint32_t sym = SpecialKeysym(virtualKey)) {
        Add(t, sym);
        return t;
    }

    uint8_t keys[256] = {};
    layout.state(keys);
    const unsigned scan = ((keyData >> 16) & 0xFF) | ((keyData & 0x80000000u) ? 0x8000u : 0u);
    uint8_t chars[2] = {};
    if ((keys[vk::kControl] & kDown) && (keys[vk::kMenu] & kDown)) {
        // A character typed with Ctrl+Alt (AltGr): the host gets it without them.
        const int n = layout.toAscii(virtualKey, scan, keys, chars);
        if (n == 2)
            return t;
        if (n >= 1 && Printable(chars[0])) {
            unsigned down = 0;
            if (keys[vk::kLControl] & kDown)
                down |= kReleaseControlL;
            if (keys[vk::kLMenu] & kDown)
                down |= kReleaseAltL;
            if (keys[vk::kRMenu] & kDown)
                down |= kReleaseAltR;
            t.releaseMask = down ? down : (kReleaseControlL | kReleaseAltL | kReleaseAltR);
            t.restoreMask = down;
            for (int i = 0; i < n; ++i)
                Add(t, chars[i]);
            return t;
        }
    }

    keys[vk::kControl] = keys[vk::kLControl] = keys[vk::kRControl] = 0;
    chars[0] = chars[1] = 0;
    const int n = layout.toAscii(virtualKey, scan, keys, chars);
    if (n < 0) {
        if (const uint32_t dead = DeadKeysym(chars[0]))
            Add(t, dead);
    } else if (n == 2) {
        if (chars[0] == 0xB4 && chars[1] == 0xF9)
            Add(t, 0xFE51);
        else if (chars[0] == '`' && chars[1] == 0xB5)
            Add(t, 0xFE50);
    } else if (n == 1) {
        Add(t, chars[0]);
    }
    return t;
}

KeyStrokes StrokesFor(const KeyTranslation& t, bool down)
{
    KeyStrokes s;
    auto add = [&s](uint32_t sym, bool d) { s.strokes[s.count++] = KeyStroke{sym, d}; };
    if (t.releaseMask & kReleaseControlL)
        add(keysym::kControlL, false);
    if (t.releaseMask & kReleaseAltL)
        add(keysym::kAltL, false);
    if (t.releaseMask & kReleaseControlR)
        add(keysym::kControlR, false);
    if (t.releaseMask & kReleaseAltR)
        add(keysym::kAltR, false);
    for (int i = 0; i < t.count; ++i)
        add(t.keysyms[i], down);
    if (t.restoreMask & kReleaseAltR)
        add(keysym::kAltR, true);
    if (t.restoreMask & kReleaseControlR)
        add(keysym::kControlR, true);
    if (t.restoreMask & kReleaseAltL)
        add(keysym::kAltL, false);
    if (t.restoreMask & kReleaseControlL)
        add(keysym::kControlL, false);
    return s;
}

} // namespace viewer
