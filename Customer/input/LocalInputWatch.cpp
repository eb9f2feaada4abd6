#include "Customer/input/LocalInputWatch.h"

namespace {

// Windows virtual keys as a low-level hook reports them.
constexpr uint8_t kB = 0x42, kNumpad2 = 0x62;
constexpr uint8_t kControl = 0x11, kLControl = 0xA2, kRControl = 0xA3;
constexpr uint8_t kMenu = 0x12, kLMenu = 0xA4, kRMenu = 0xA5;
// More than this many counted events in a run post the command.
constexpr int kRunLength = 4;

} // namespace

bool LocalInputWatch::OnKey(uint8_t vk, bool down, bool injected)
{
    if (injected)
        return false;
    // Ctrl and Alt from the hook's own events: the thread's key state lags
    // behind inside a low-level hook.
    if (vk == kControl || vk == kLControl || vk == kRControl)
        m_ctrl = down;
    else if (vk == kMenu || vk == kLMenu || vk == kRMenu)
        m_alt = down;
    if (!down)
        return false;
    if ((vk == kB || vk == kNumpad2) && m_ctrl && m_alt)
        return true;
    m_ticks = 0;
    if (m_keys > kRunLength) {
        m_keys = 0;
        return true;
    }
    ++m_keys;
    return false;
}

bool LocalInputWatch::OnMouse(Mouse kind, bool injected)
{
    if (injected || !m_mouseArmed)
        return false;
    m_mouseArmed = false;
    m_ticks = 0;
    if (kind != Mouse::Counted)
        return false;
    if (m_mouse > kRunLength) {
        m_mouse = 0;
        return true;
    }
    ++m_mouse;
    return false;
}

void LocalInputWatch::OnTick()
{
    m_mouseArmed = true;
    if (++m_ticks > kRunLength)
        m_ticks = m_keys = m_mouse = 0;
}
