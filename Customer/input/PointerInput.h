// Turns a viewer's PointerEvent into the mouse input the host injects:
// position, move flag, the buttons that changed and the wheel.
#pragma once

#include <cstdint>

struct PointerInput {
    int x = 0;
    int y = 0;
    bool move = false;
    // +1 pressed, -1 released, 0 unchanged.
    int left = 0;
    int middle = 0;
    int right = 0;
    // Multiples of 120 (one notch): positive up, negative down.
    int wheel = 0;
};

struct PointerState {
    uint8_t mask = 0;
    int x = -1;
    int y = -1;
};

// x and y are host coordinates already; swapButtons exchanges left and right
// as the system does; wheelOnPressOnly makes a notch only when a wheel bit is
// newly set (viewers that announced Tight without the XOR extension).
PointerInput BuildPointerInput(const PointerState& last, uint8_t mask, int x, int y, bool swapButtons,
                               bool wheelOnPressOnly);
