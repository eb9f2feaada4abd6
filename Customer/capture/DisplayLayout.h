// The displays attached to the desktop and the OS class the host steers by
// (DisplayLayout_win.cpp).
#pragma once

#include <string>

struct DisplayInfo {
    std::string deviceName;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

struct DisplayLayout {
    int monitorCount = 0;
    DisplayInfo primary;
    DisplayInfo second;
    // The virtual screen spanning every display (depth: the primary's).
    DisplayInfo virtualScreen;
};

// GetVersionExA and ClassifyServerOsClass.
int ComputeServerOsClass();
// Displays attached to the desktop, mirror drivers not counted; 1 on class 5.
int CountDisplayMonitors();
bool ReadDisplayLayout(DisplayLayout& layout);
// Device name of the mirror driver "Customer video hook driver" when one is
// attached (classes 1 and 2 only), else empty.
std::string FindMirrorDriverDevice();
