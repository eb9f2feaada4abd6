// Counts the presenter's own keyboard and mouse activity while a participant
// holds control, and says when it is enough to take control back: Ctrl+Alt+B
// (or keypad 2) at once, the sixth real key-down of a run, or real mouse
// activity in six quarter-second ticks in a row. Five ticks (1250 ms) without
// a counted event end a run. The program's own injected input never counts
// and never changes the counts. The hooks and the timer feed it
// (LocalInputHooks_win.cpp).
#pragma once

#include <cstdint>

class LocalInputWatch {
public:
    enum class Mouse {
        Counted,  // moves (client or frame), left/right/middle presses, wheel
        Other,    // button releases and the rest
    };

    // Each returns true when the take-back command is to be posted.
    // vk: the low-level hook's virtual key (sided for Ctrl and Alt).
    bool OnKey(uint8_t vk, bool down, bool injected);
    bool OnMouse(Mouse kind, bool injected);
    // The watch timer, every 250 ms.
    void OnTick();

private:
    bool m_ctrl = false;
    bool m_alt = false;
    int m_ticks = 0;
    int m_keys = 0;
    int m_mouse = 0;
    bool m_mouseArmed = false;
};
