// Base of the program's main windows: a modeless top-level dialog that paints
// its own white background and a coloured status box along its bottom edge,
// carries the product title and the Settings / Help menu, shows one child
// dialog (the page of the moment) at a time and flashes its task-bar button
// on request.
#pragma once

#include "core/base/AnchorLayout_win.h"
#include "core/base/CHeap.h"

#include <windows.h>

#include <string>
#include <vector>

enum StatusKind : int {
    STATUS_NORMAL = 0,
    STATUS_ERROR = 1,
    STATUS_WARNING = 2,
};

// Owner of the frame's back buffer: a memory device context with a bitmap
// selected into it (the bitmap is swapped before the old one is deleted).
class FrameBackBuffer {
public:
    FrameBackBuffer() = default;
    ~FrameBackBuffer();
    FrameBackBuffer(const FrameBackBuffer&) = delete;
    FrameBackBuffer& operator=(const FrameBackBuffer&) = delete;

    // A buffer of width x height like the reference context.
    bool Resize(HDC reference, int width, int height);
    HDC dc() const { return m_dc; }

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_initialBitmap = nullptr;
    HGDIOBJ m_initialFont = nullptr;
};

class CWindowFrame : public CHeap {
public:
    static constexpr size_t kStatusMax = 255;
    static constexpr UINT_PTR kFlashTimer = 1;
    static constexpr UINT kFlashPeriodMs = 500;

    // Templates come from instance; thread messages go to mainThreadId.
    CWindowFrame(HINSTANCE instance, DWORD mainThreadId);
    ~CWindowFrame() override;
    CWindowFrame(const CWindowFrame&) = delete;
    CWindowFrame& operator=(const CWindowFrame&) = delete;

    // Creates the frame from the template (no owner); with anchor set, its
    // layout is attached with the window's outer size as design size.
    HWND CreateFrameDialog(UINT templateId, bool anchor);
    // The text is cut to 255 characters and shown as given.
    void SetStatusText(int kind, const wchar_t* text);
    void SetStatusTextUtf8(int kind, const char* text);
    // Shows the new child and destroys the old one; null changes nothing.
    void SwapChildDialog(HWND child);
    // Icon given to the frame when it is created (null: none).
    void SetIcon(HICON icon) { m_icon = icon; }

    HWND Window() const { return m_hwnd; }
    HWND CurrentChild() const { return m_child; }
    const std::wstring& StatusText() const { return m_statusText; }
    int StatusKind() const { return m_statusKind; }
    bool Flashing() const { return m_flashing; }
    HBRUSH WhiteBrush() const { return m_white; }
    HBRUSH GreyBrush() const { return m_grey; }
    HINSTANCE Instance() const { return m_instance; }
    DWORD MainThreadId() const { return m_mainThreadId; }

    static INT_PTR CALLBACK FrameDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    // WM_CLOSE: each derived window decides what closing means.
    virtual void OnClose() = 0;
    // Messages the derived window handles before the frame; true when handled
    // (result then is the dialog procedure's answer).
    virtual bool OnFrameMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }
    void DestroyFrame();

private:
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnSize();
    void OnPaint();
    void OnAnchorChild(HWND child, int flags);
    void StartFlash();
    void StopFlash();
    void PaintFrame();
    void Repaint();

    HWND m_hwnd = nullptr;
    FrameBackBuffer m_buffer;
    std::wstring m_statusText;
    int m_statusKind = STATUS_NORMAL;
    HBRUSH m_white = nullptr;
    HBRUSH m_grey = nullptr;
    HICON m_icon = nullptr;
    HMENU m_menu = nullptr;
    HWND m_child = nullptr;
    HINSTANCE m_instance;
    DWORD m_mainThreadId;
    CAnchorLayout m_layout;
    std::vector<HWND> m_anchored;
    bool m_flashing = false;
};
