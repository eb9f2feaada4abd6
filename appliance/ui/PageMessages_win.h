// What every page of the program's frames answers alike: a white background
// with transparent static texts, and the frame's layout messages, which share
// their numbers with DM_SETDEFID and DM_REPOSITION and must not reach the
// default dialog procedure.
#pragma once

#include <windows.h>

// True when the message is one of these; result is then the page's answer.
bool AnswerPageMessage(HWND page, UINT msg, WPARAM wParam, INT_PTR& result);
