#include "Customer/input/WinKeyboard.h"

#include "Customer/capture/OsVersionGlobals.h"
#include "Customer/input/CtrlAltDel.h"

#include <windows.h>

#include <cstring>

namespace {

class WinKeyboard : public KeyboardSystem {
public:
    int16_t ScanChar(uint16_t ch) override { return VkKeyScanW(static_cast<WCHAR>(ch)); }
    bool IsDown(uint8_t vk) override { return (GetAsyncKeyState(vk) & 0x8000) != 0; }
    void Send(uint8_t vk, bool extended, bool down) override
    {
        INPUT in;
        std::memset(&in, 0, sizeof in);
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
        in.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (down ? 0 : KEYEVENTF_KEYUP);
        in.ki.dwExtraInfo = kInjectedExtraInfo;
        SendInput(1, &in, sizeof in);
    }
    bool CtrlAltDel() override { return GenerateCtrlAltDel(); }
    bool IsNt() override { return g_platformId != VER_PLATFORM_WIN32_WINDOWS; }
};

} // namespace

std::unique_ptr<KeyboardSystem> CreateWindowsKeyboard()
{
    return std::make_unique<WinKeyboard>();
}
