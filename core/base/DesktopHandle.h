// Owner of one desktop handle from OpenInputDesktop or OpenDesktop (never
// GetThreadDesktop's, which belongs to the system).
#pragma once

#include <windows.h>

class DesktopHandle {
public:
    DesktopHandle() = default;
    explicit DesktopHandle(HDESK h) : m_h(h) {}
    ~DesktopHandle() { Reset(); }
    DesktopHandle(const DesktopHandle&) = delete;
    DesktopHandle& operator=(const DesktopHandle&) = delete;
    DesktopHandle(DesktopHandle&& other) noexcept : m_h(other.m_h) { other.m_h = nullptr; }
    DesktopHandle& operator=(DesktopHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_h = other.m_h;
            other.m_h = nullptr;
        }
        return *this;
    }

    HDESK get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset(HDESK h = nullptr)
    {
        if (m_h)
            CloseDesktop(m_h);
        m_h = h;
    }

private:
    HDESK m_h = nullptr;
};
