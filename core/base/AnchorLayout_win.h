// Keeps child controls glued to the edges of a resizable parent: a control
// anchored left and right stretches, one anchored right alone moves, one
// without either keeps its place (and the same vertically).
#pragma once

#include <windows.h>

#include <vector>

enum AnchorFlags : int {
    ANCHOR_LEFT = 1,
    ANCHOR_TOP = 2,
    ANCHOR_RIGHT = 4,
    ANCHOR_BOTTOM = 8,
};

class CAnchorLayout {
public:
    // The parent and its design size; the reference rectangle starts there.
    void Attach(HWND parent, int designWidth, int designHeight);
    // A child at rect (parent client coordinates) under the reference rectangle.
    void AddControl(HWND child, int flags, const RECT& rect);
    // Moves every entry to fit the parent's client area now; nothing without a
    // parent. Entries with a null window are skipped.
    void Relayout();
    bool Attached() const { return m_parent != nullptr; }

private:
    struct Entry {
        HWND window;
        int flags;
        int width, height, left, top, rightGap, bottomGap;
    };
    // One axis: start, size and far gap against the parent's extent.
    static void FitAxis(bool nearAnchor, bool farAnchor, int extent, int& start, int& size, int& farGap);

    HWND m_parent = nullptr;
    std::vector<Entry> m_entries;
    RECT m_reference{};
};
