// Turns a move of the foreground window into a copy: the content that was
// at the old place is now at the new one, so the viewer can move it itself.
#pragma once

#include "Customer/capture/PollGrid.h"
#include "rfb/Rect.h"

struct WindowCopy {
    rfb::Rect dest;     // where the content is now
    rfb::Point delta;   // dest minus source
    rfb::Rect previous; // the window before the move: what it uncovered
};

class WindowMoveDetector {
public:
    // w is the foreground window (0: none); haveRect says whether it is
    // visible with a rectangle, rect (bitmap coordinates). bounds is what
    // may be copied from and to (the bitmap and the shared area together).
    // True and a copy when the window seen last time moved: the source is
    // the destination less the move, clipped to bounds, and the destination
    // that source plus the move, so a copy never reads outside bounds.
    bool Detect(DesktopWindows::Window w, bool haveRect, const rfb::Rect& rect, const rfb::Rect& bounds,
                WindowCopy& out);
    void Forget()
    {
        m_window = 0;
        m_rect = rfb::Rect();
    }

private:
    DesktopWindows::Window m_window = 0;
    rfb::Rect m_rect;
};
