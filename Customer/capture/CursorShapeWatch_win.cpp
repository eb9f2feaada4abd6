#include "Customer/capture/CursorShapeWatch.h"

#include <windows.h>

bool CursorShapeWatch::Poll()
{
    CURSORINFO ci;
    ci.cbSize = sizeof ci;
    if (!GetCursorInfo(&ci))
        return false;
    return Update(reinterpret_cast<uintptr_t>(ci.hCursor));
}
