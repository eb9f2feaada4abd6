// Enter and Tab with one meaning in every page of the main windows: installed
// on a page's buttons and edit fields (and an editable combo's edit box), each
// keeps the control's previous procedure in its user data and passes on every
// message it does not handle.
#pragma once

#include <windows.h>

// Buttons and edits of a page: Tab moves to the next control of the page;
// Enter on a button 1, 2 or 1002 clicks it (other buttons ignore it), Enter
// in an edit is OK (1).
LRESULT CALLBACK DlgButtonEditSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// An editable combo's edit box: Enter is OK and Tab (Shift+Tab backwards)
// moves, both sent to the frame, the edit's grandparent.
LRESULT CALLBACK EnterTabSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Installs proc on the control, keeping the previous one; false for a null
// control or one already subclassed.
bool InstallKeySubclass(HWND control, WNDPROC proc);
