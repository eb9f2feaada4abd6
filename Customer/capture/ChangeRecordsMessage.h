// The sink window's side of the companion program's change reports: a
// WM_COPYDATA with identifier 112233 becomes one posted "Update.DrawRect" a
// rectangle (ChangeRecordsMessage_win.cpp).
#pragma once

#include <windows.h>

// Posts the records of data to sink; the data is read within its size while
// the message is handled and nothing of it is kept. Returns the number of
// rectangles posted (0 for another identifier).
int PostChangeRecords(HWND sink, const COPYDATASTRUCT* data);
