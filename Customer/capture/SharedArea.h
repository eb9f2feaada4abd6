// Which part of the host's screen is shared: the first display, the second,
// all of them, or one window; and whether a shared window can still be
// shared. Platform-neutral: the Win32 side (SharedAreaPicker_win.cpp) says
// what lies under a point and reads the window's state.
#pragma once

#include "rfb/Rect.h"

#include <cstdint>
#include <functional>

// The display selection values of the desktop.
constexpr uint8_t kDisplayFirst = 0x01;
constexpr uint8_t kDisplaySecond = 0x10;
constexpr uint8_t kDisplayAll = 0x11;

// What lies under a point the viewer chose.
struct PointTarget {
    enum class Kind { Nothing, Desktop, Window };
    Kind kind = Kind::Nothing;
    bool primaryDisplay = true;  // Desktop: the point is on the primary display
    uintptr_t topLevel = 0;      // Window: the top-level ancestor of the window there
};

// The viewer's SetSW choices. The desktop thread reads the result on its next
// cycle; the owner guards this object with the lock both threads take.
class DisplaySelection {
public:
    // 0 done, 1 refused (the viewer is then told with message 10). resolve
    // is asked only for a point that is not a display code.
    int SetSW(int x, int y, const std::function<PointTarget()>& resolve);
    // The shared window ended (closed, minimised, too small, off screen).
    void DropWindow();

    bool OnlyFirstDisplay() const { return m_onlyFirst; }
    bool SeveralAllowed() const { return !m_onlyFirst; }
    uint8_t Requested() const { return m_requested; }
    uintptr_t SharedWindow() const { return m_window; }
    bool SingleWindow() const { return m_window != 0; }

private:
    void SelectFirst();

    bool m_onlyFirst = true;
    uint8_t m_requested = kDisplayFirst;
    uintptr_t m_window = 0;
};

// A shared window's state as Windows reports it, in bitmap coordinates.
struct WindowState {
    bool exists = false;
    bool iconic = false;
    bool visible = false;
    bool haveRect = false;
    rfb::Rect rect;
};

struct SharedWindowCheck {
    // False: single-window sharing ends and the whole screen is shared again.
    bool keep = false;
    rfb::Rect rect;
    bool sizeChanged = false;
};

// Follows one shared window from cycle to cycle.
class SharedWindowTracker {
public:
    static constexpr int kMinWidth = 128;
    static constexpr int kMinHeight = 64;

    // screen: the bitmap's rectangle; taskbar: the taskbar's, or empty.
    SharedWindowCheck Check(const WindowState& w, const rfb::Rect& screen, const rfb::Rect& taskbar);
    void Reset() { m_lastW = m_lastH = 0; }

private:
    int m_lastW = 0, m_lastH = 0;
};
