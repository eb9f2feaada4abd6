// The bitmap header of a top-down 32-bit picture, the layout of every frame
// buffer here (0x00RRGGBB, first row first), for DIB sections and DIB blits.
#pragma once

#include <windows.h>

inline BITMAPINFO TopDownBitmapInfo(int width, int height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}
