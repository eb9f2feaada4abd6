// Turns the viewer's keysyms into key events on the host: function and
// editing keys through a fixed table, printable Latin-1 characters through the
// host's own layout with the modifiers it needs, dead keys composed with the
// next letter, characters the layout lacks as Alt plus three keypad digits,
// and Ctrl-Alt-Del as the secure-attention path. The system calls sit behind
// KeyboardSystem, so the decisions are the same natively and under Windows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>

// Every event the program injects carries this extra information; the local
// input watch tells the program's own input from the user's by it.
constexpr uintptr_t kInjectedExtraInfo = 2;

// Virtual-key codes used by the decisions (the Windows values).
namespace vk {
constexpr uint8_t kShift = 0x10, kControl = 0x11, kMenu = 0x12;
constexpr uint8_t kLShift = 0xA0, kRShift = 0xA1, kLControl = 0xA2, kRControl = 0xA3, kLMenu = 0xA4,
                  kRMenu = 0xA5;
constexpr uint8_t kDelete = 0x2E, kNumpad0 = 0x60;
} // namespace vk

class KeyboardSystem {
public:
    virtual ~KeyboardSystem() = default;
    // The host layout's key for a character (VkKeyScanW): low byte the
    // virtual key, high byte the shift state (1 shift, 2 control, 4 alt);
    // -1 when the layout has no key for it.
    virtual int16_t ScanChar(uint16_t ch) = 0;
    // The key is down now (GetAsyncKeyState).
    virtual bool IsDown(uint8_t vk) = 0;
    // One key event with the extra information kInjectedExtraInfo.
    virtual void Send(uint8_t vk, bool extended, bool down) = 0;
    // Starts Task Manager on its own thread; false when it could not start.
    virtual bool CtrlAltDel() = 0;
    // Platform id: true on the NT family, false on Windows 9x.
    virtual bool IsNt() = 0;
};

// The fixed rows: virtual key and extended flag of a non-Latin-1 keysym.
struct KeysymKey {
    uint8_t vk;
    bool extended;
};
// The 90 rows as two maps; filled once before any thread starts.
const std::map<uint32_t, KeysymKey>& KeysymTable();

// The keysym a dead key makes of a Latin-1 character; the character itself
// when the dead key has no composition for it.
uint32_t ComposeDeadKey(uint32_t deadKey, uint32_t character);

// Keysym of each character of an OEM code page (0x0FFF where there is none),
// from the code page's characters as Unicode code points. Alt plus the
// decimal index types the character.
using CodePageTable = std::array<uint32_t, 256>;
CodePageTable BuildCodePageTable(const std::array<uint16_t, 256>& unicode);
// First index whose keysym is keysym; -1 when none.
int FindInCodePage(const CodePageTable& table, uint32_t keysym);

// A key the injection presses or releases around a character, undone after it.
class KeyStateModifier {
public:
    KeyStateModifier(KeyboardSystem& system, uint8_t vk) : m_system(system), m_vk(vk) {}
    // Down only when not already down.
    void FakeKeyDown();
    // Up only when down.
    void FakeKeyUp();
    // A key we pressed is released, else a key we released is pressed again.
    void RestoreKeyState();

private:
    void Fake(bool down);

    KeyboardSystem& m_system;
    uint8_t m_vk;
    bool m_pressed = false;
    bool m_released = false;
};

// The key-up of a key that is down; nothing when it is up.
void ReleaseKeyIfDown(KeyboardSystem& system, uint8_t vk);
// The modifiers a viewer may have left held: the six sides on NT, the three
// generic keys on the 9x family.
void ReleaseModifiers(KeyboardSystem& system);

// One session's key injection: the pending dead key and the keys pressed for
// each keysym live here, so a new session starts with none.
class KeyInjector {
public:
    KeyInjector(KeyboardSystem& system, const CodePageTable& codePage) : m_system(system), m_codePage(codePage) {}

    void InjectKeyEvent(uint32_t keysym, bool down);
    uint32_t PendingDeadKey() const { return m_deadKey; }

private:
    void InjectLatin1(uint32_t keysym, bool down);
    void TypeAltDigits(int index);
    void InjectTableKey(uint32_t keysym, bool down);

    KeyboardSystem& m_system;
    const CodePageTable& m_codePage;
    uint32_t m_deadKey = 0;
    // What each Latin-1 key-down pressed (0: nothing to release), so its
    // key-up releases that key even when a dead key made it another one.
    std::map<uint32_t, uint8_t> m_pressed;
    // Delete down went to the secure-attention path: its key-up goes nowhere.
    bool m_deleteDiverted = false;
};
