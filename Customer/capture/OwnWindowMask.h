// The capture that viewers see: the magnifier's frame while that capture
// runs, else the screen itself; then the hidden-window list, and the
// program's own windows when the magnifier does not leave them out already,
// are hatched over their visible parts (OwnWindowMask_win.cpp).
#pragma once

#include "Customer/capture/ScreenSource.h"

#include <memory>

// Wraps the screen source; null stays null.
std::unique_ptr<ScreenSource> ComposeOwnWindows(std::unique_ptr<ScreenSource> inner);
