// The steps both drivers take on another process's windows: waiting for a
// window to appear and typing into an edit control.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

// Waits up to ms for found() to give a window, looking every 50 ms.
template <class F>
HWND WaitWindow(F found, DWORD ms)
{
    for (DWORD waited = 0; waited < ms; waited += 50) {
        if (HWND w = found())
            return w;
        Sleep(50);
    }
    return nullptr;
}

// The characters typed into an edit control, after emptying it.
inline void Type(HWND edit, const std::wstring& text)
{
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CLEAR, 0, 0);
    for (wchar_t c : text)
        SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
}

// The same for narrow text, each byte one character.
inline void Type(HWND edit, const std::string& text)
{
    std::wstring wide;
    for (char c : text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    Type(edit, wide);
}

} // namespace driver
