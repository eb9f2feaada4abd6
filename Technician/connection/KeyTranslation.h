// A participant's key, as Windows reports it, turned into X keysyms for the
// host: a fixed map for the keys that type no character, the layout's own
// translation (through KeyboardLayout) for the rest, with the modifiers a
// Ctrl+Alt character needs lifted around it. No Windows header: the virtual
// key codes are Windows' numbers.
#pragma once

#include <cstdint>

namespace viewer {

// Windows virtual keys this translation names.
namespace vk {
constexpr unsigned kBack = 0x08, kTab = 0x09, kClear = 0x0C, kReturn = 0x0D, kShift = 0x10, kControl = 0x11,
                   kMenu = 0x12, kPause = 0x13, kCapital = 0x14, kEscape = 0x1B, kSpace = 0x20, kPrior = 0x21,
                   kNext = 0x22, kEnd = 0x23, kHome = 0x24, kLeft = 0x25, kUp = 0x26, kRight = 0x27, kDown = 0x28,
                   kSelect = 0x29, kExecute = 0x2B, kSnapshot = 0x2C, kInsert = 0x2D, kDelete = 0x2E, kHelp = 0x2F,
                   kNumpad0 = 0x60, kMultiply = 0x6A, kAdd = 0x6B, kSeparator = 0x6C, kSubtract = 0x6D,
                   kDecimal = 0x6E, kDivide = 0x6F, kF1 = 0x70, kF24 = 0x87, kNumLock = 0x90, kScroll = 0x91,
                   kLShift = 0xA0, kRShift = 0xA1, kLControl = 0xA2, kRControl = 0xA3, kLMenu = 0xA4, kRMenu = 0xA5,
                   kCancel = 0x03;
// The extended Return (keypad Enter) inside the translation.
constexpr unsigned kExtendedReturn = 0x1234;
} // namespace vk

// Keysyms of the modifiers.
namespace keysym {
constexpr uint32_t kShiftL = 0xFFE1, kShiftR = 0xFFE2, kControlL = 0xFFE3, kControlR = 0xFFE4, kAltL = 0xFFE9,
                   kAltR = 0xFFEA;
} // namespace keysym

// The release-modifiers bits.
constexpr unsigned kReleaseControlL = 1, kReleaseControlR = 2, kReleaseAltL = 4, kReleaseAltR = 8;

struct KeyTranslation {
    static constexpr int kMax = 4;
    uint32_t keysyms[kMax] = {};
    int count = 0;
    // Sent up before the keysyms (a Ctrl+Alt character).
    unsigned releaseMask = 0;
    // Put back after them: only the sides the keyboard state shows down.
    unsigned restoreMask = 0;
};

// The platform's keyboard: its state (256 bytes, bit 7 down) and ToAscii.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    virtual void state(uint8_t keys[256]) = 0;
    // ToAscii's result: characters written to chars (0, 1 or 2), negative
    // for a dead key (its character in chars[0]).
    virtual int toAscii(unsigned virtualKey, unsigned scanCode, const uint8_t keys[256], uint8_t chars[2]) = 0;
};

// The keysym of a key in the fixed map, 0 when it has none there. The
// extended Return is vk::kExtendedReturn.
uint32_t SpecialKeysym(unsigned virtualKey);

// keyData is the key message's lParam (bit 24 extended, bits 16-23 the scan
// code, bit 31 set on release).
KeyTranslation TranslateKeyToKeysym(unsigned virtualKey, uint32_t keyData, KeyboardLayout& layout);

// One key event to send.
struct KeyStroke {
    uint32_t keysym;
    bool down;
    bool operator==(const KeyStroke& o) const { return keysym == o.keysym && down == o.down; }
};

// The strokes for a translated key: the lifted modifiers up, the keysyms
// with the message's down flag, then the modifiers put back. At most 12.
struct KeyStrokes {
    KeyStroke strokes[12] = {};
    int count = 0;
};
KeyStrokes StrokesFor(const KeyTranslation& t, bool down);

// What a viewer that loses the focus sends up, in order.
constexpr uint32_t kFocusLossReleases[] = {keysym::kAltL,  keysym::kControlL, keysym::kShiftL,
                                           keysym::kAltR,  keysym::kControlR, keysym::kShiftR};

} // namespace viewer
