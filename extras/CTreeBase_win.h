#pragma once
// The owner-drawn tree window both poll views share: its font and colours,
// painting through one memory bitmap, the vertical scroll bar and the wheel.
// Subclasses draw their rows and answer clicks.
#include "core/base/CHeap.h"
#include "core/base/GdiObject_win.h"

#include <windows.h>

#include <string>
#include <vector>

class CTreeBase : public CHeap {
public:
    ~CTreeBase() override;
    CTreeBase(const CTreeBase&) = delete;
    CTreeBase& operator=(const CTreeBase&) = delete;

    HWND Window() const { return m_hwnd; }
    int ScrollOffset() const { return m_scroll; }
    // Repaints at once and brings the scroll bar up to date.
    void Repaint();

    static constexpr COLORREF kText = RGB(0, 0, 0);
    static constexpr COLORREF kBackground = RGB(0xFF, 0xFF, 0xFF);
    static constexpr COLORREF kSelectedText = RGB(0xFF, 0xFF, 0xFF);
    static constexpr COLORREF kSelectedBackground = RGB(0x33, 0x99, 0xFF);
    static constexpr COLORREF kBoxFill = RGB(0xCC, 0xCC, 0xCC);
    static constexpr int kIndent = 16;
    static constexpr int kSpacing = 4;

protected:
    CTreeBase() = default;
    // Registers the class (double clicks, redraw on resize, arrow cursor) and
    // makes the child window over rect, titled title.
    bool CreateTreeWindow(const wchar_t* className, HWND parent, const RECT& rect, const wchar_t* title);

    // Draws every row into dc at the scroll offset within width; returns the
    // total height of the rows.
    virtual int DrawItems(HDC dc, int width) = 0;
    virtual void OnClick(POINT) {}
    virtual void OnDoubleClick(POINT) {}
    virtual LRESULT OnOtherMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Height of a text wrapped to width, in the tree's font.
    int TextHeight(HDC dc, const std::wstring& text, int width) const;
    void DrawRowText(HDC dc, const std::wstring& text, RECT rect, COLORREF colour) const;

    HWND m_hwnd = nullptr;
    GdiObject<HFONT> m_font;
    int m_rowHeight = 16;
    int m_scroll = 0;
    int m_total = 0;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Paint();
    void OnScroll(WPARAM wParam);
    void UpdateScrollBar(int height);
};
