// Owner of one kernel handle (process, token, event, file, ...).
#pragma once

#include <windows.h>

class WinHandle {
public:
    WinHandle() = default;
    explicit WinHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~WinHandle() { Reset(); }
    WinHandle(const WinHandle&) = delete;
    WinHandle& operator=(const WinHandle&) = delete;
    WinHandle(WinHandle&& other) noexcept : m_h(other.m_h) { other.m_h = nullptr; }
    WinHandle& operator=(WinHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_h = other.m_h;
            other.m_h = nullptr;
        }
        return *this;
    }

    HANDLE get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    // Closes the held handle and takes `h` (INVALID_HANDLE_VALUE counts as none).
    void Reset(HANDLE h = nullptr)
    {
        if (m_h)
            CloseHandle(m_h);
        m_h = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }

private:
    HANDLE m_h = nullptr;
};
