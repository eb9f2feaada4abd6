// Screen capture with GDI: the display's device context is copied with
// BitBlt into a top-down DIB section that is the frame buffers' main buffer
// (GdiScreen_win.cpp).
#pragma once

#include "Customer/capture/ScreenSource.h"

#include <memory>

// The primary display, or the whole virtual screen when several displays
// are attached; null (with a log line) when it cannot be captured.
std::unique_ptr<ScreenSource> CreateGdiScreen();
