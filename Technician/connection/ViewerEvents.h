// What the reader tells the windows. The Win32 edge turns each call into a
// PostMessage or an InvalidateRect: the reader itself does no window work.
#pragma once

#include "rfb/Rect.h"

#include <string>

namespace viewer {

class ViewerEvents {
public:
    virtual ~ViewerEvents() = default;
    // A framebuffer area holds new pixels (framebuffer coordinates).
    virtual void areaChanged(const rfb::Rect& area) = 0;
    // One FramebufferUpdate is over (also after LastRect, a new size, a resync).
    virtual void updateEnded() = 0;
    // The framebuffer was made again at a new size: layout and scroll bars.
    virtual void framebufferResized() = 0;
    // The host reported its screen size (75) or refused a monitor request (10).
    virtual void sizeReported() = 0;
    // The drawn cursor's shape or position changed.
    virtual void cursorChanged() = 0;
    virtual void inputDesktopLost() = 0;
    virtual void inputDesktopRestored() = 0;
    // The host's clipboard text (ServerCutText, as sent: lines end in LF).
    // Dropped unless the viewer takes clipboard text.
    virtual void clipboardReceived(std::string text) { (void)text; }
};

} // namespace viewer
