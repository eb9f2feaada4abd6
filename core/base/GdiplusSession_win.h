#pragma once
// GDI+ started for as long as the owner lives (started and shut down on the
// thread that owns it; GDI+ counts nested starts).
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

class GdiplusSession {
public:
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        m_ok = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession()
    {
        if (m_ok)
            Gdiplus::GdiplusShutdown(m_token);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const { return m_ok; }

private:
    ULONG_PTR m_token = 0;
    bool m_ok = false;
};
