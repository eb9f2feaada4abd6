// Owners of GDI objects: one for a bitmap, palette, brush or pen (deleted
// with DeleteObject), one for a memory device context (its first selection
// put back, then DeleteDC).
#pragma once

#include <windows.h>

template <class T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T h) : m_h(h) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }
    void Reset(T h = nullptr)
    {
        if (m_h)
            DeleteObject(m_h);
        m_h = h;
    }
    // Gives the object up to a new owner.
    T Release()
    {
        T h = m_h;
        m_h = nullptr;
        return h;
    }

private:
    T m_h = nullptr;
};

// Deletes a GDI object whose ownership arrived as a handle (a posted frame).
inline void DeleteGdiObject(HGDIOBJ h)
{
    GdiObject<HGDIOBJ> owner(h);
}

class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith = nullptr) : m_dc(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc()
    {
        if (!m_dc)
            return;
        if (m_first)
            SelectObject(m_dc, m_first);
        DeleteDC(m_dc);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;

    HDC get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }
    // Selects `obj`; the DC's own object goes back before it is deleted.
    void Select(HGDIOBJ obj)
    {
        HGDIOBJ old = SelectObject(m_dc, obj);
        if (!m_first)
            m_first = old;
    }

private:
    HDC m_dc;
    HGDIOBJ m_first = nullptr;
};
