// A moved foreground window becomes a copy for the viewer instead of new
// pixels. Platform-neutral: the desktop thread feeds the foreground window
// and its rectangle (bitmap coordinates) every cycle.
#pragma once

#include "rfb/Rect.h"

#include <cstdint>

struct MoveCopy {
    rfb::Rect dest;     // where the content is now
    rfb::Point delta;   // dest minus source
};

// The copy for a window that moved from before to after, with both the
// source and the destination inside clip (the bitmap and the shared area);
// false when nothing can be copied (no move, or nothing of it in clip).
bool ComputeMoveCopy(const rfb::Rect& before, const rfb::Rect& after, const rfb::Rect& clip, MoveCopy& copy);

class WindowMoveDetector {
public:
    // window: the foreground window (0 when none); visible and rect as read
    // now (haveRect false when the rectangle could not be read).
    bool Update(uintptr_t window, bool visible, bool haveRect, const rfb::Rect& rect, const rfb::Rect& clip,
                MoveCopy& copy);

private:
    uintptr_t m_window = 0;
    rfb::Rect m_rect;
};
