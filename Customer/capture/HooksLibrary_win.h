// The optional hooks library beside the program ("customerhooks.dll"): it
// posts "Update.DrawRect" and "Update.Mouse" to the desktop thread while its
// hooks are set. Every entry point may be missing; the program ships none,
// and without it the desktop polls.
#pragma once

#include <windows.h>

class HooksLibrary {
public:
    // Loads the library from the program's own folder, when it is there.
    HooksLibrary();
    ~HooksLibrary();
    HooksLibrary(const HooksLibrary&) = delete;
    HooksLibrary& operator=(const HooksLibrary&) = delete;

    bool Loaded() const { return m_module != nullptr; }
    // Sets the hooks for the thread; false when missing or refused.
    bool Set(DWORD threadId);
    // Removes them again when they were set.
    void Unset(DWORD threadId);
    bool Active() const { return m_active; }

private:
    using SetHooksFn = BOOL(WINAPI*)(DWORD, UINT, UINT, UINT, int);
    using UnSetHooksFn = BOOL(WINAPI*)(DWORD);
    using FilterFn = BOOL(WINAPI*)(BOOL);

    HMODULE m_module = nullptr;
    SetHooksFn m_set = nullptr;
    UnSetHooksFn m_unset = nullptr;
    FilterFn m_keyboardFilter = nullptr;
    FilterFn m_mouseFilter = nullptr;
    bool m_active = false;
};
