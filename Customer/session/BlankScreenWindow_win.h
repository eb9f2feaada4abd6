// The host's blank-screen window ("blackscreen": topmost, layered and
// click-through over the primary screen, showing "background.bmp" from the
// working directory stretched, or black) on a thread of its own, and the
// desktop wallpaper taken away for a session (BlankScreenWindow_win.cpp).
#pragma once

#include "Customer/session/BlankScreen.h"

#include <memory>
#include <string>

// The Windows platform of the blank screen.
std::unique_ptr<BlankScreenPlatform> CreateWindowsBlankScreenPlatform();
// Whether user32 offers layered windows (else the monitor is switched off).
bool BlankScreenWindowAvailable();

// Clears the desktop wallpaper while it lives and sets it back after.
class WallpaperRemoval {
public:
    WallpaperRemoval();
    ~WallpaperRemoval();
    WallpaperRemoval(const WallpaperRemoval&) = delete;
    WallpaperRemoval& operator=(const WallpaperRemoval&) = delete;

private:
    std::wstring m_saved;
    bool m_removed = false;
};
