#include "Customer/input/PointerInput.h"

namespace {

int change(uint8_t before, uint8_t after, uint8_t bit)
{
    if ((before & bit) == (after & bit))
        return 0;
    return (after & bit) ? 1 : -1;
}

} // namespace

PointerInput BuildPointerInput(const PointerState& last, uint8_t mask, int x, int y, bool swapButtons,
                               bool wheelOnPressOnly)
{
    PointerInput in;
    in.x = x;
    in.y = y;
    in.move = x != last.x || y != last.y;
    in.left = change(last.mask, mask, 1);
    in.middle = change(last.mask, mask, 2);
    in.right = change(last.mask, mask, 4);
    if (swapButtons) {
        const int l = in.left;
        in.left = in.right;
        in.right = l;
    }
    const bool up = wheelOnPressOnly ? change(last.mask, mask, 8) > 0 : (mask & 8) != 0;
    const bool down = wheelOnPressOnly ? change(last.mask, mask, 16) > 0 : (mask & 16) != 0;
    if (down)
        in.wheel = -120;
    else if (up)
        in.wheel = 120;
    return in;
}
