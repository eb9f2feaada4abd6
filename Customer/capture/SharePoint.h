// What lies under a point of the virtual screen that the viewer chose to
// share (SharePoint_win.cpp): nothing, the desktop of one display, or a
// window, given as its top-level window.
#pragma once

#include "Customer/capture/SharedArea.h"

PointTarget ResolveSharePoint(int x, int y);
