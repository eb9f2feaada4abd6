// Follows the cursor the host shows, read once per grab: a new cursor
// handle is a new shape for viewers that take cursor shapes. Without it
// only the hooks library would report cursor changes, and viewers would see
// the arrow for ever (CursorShapeWatch_win.cpp reads the handle).
#pragma once

#include <cstdint>

class CursorShapeWatch {
public:
    // True when the cursor differs from the one read last time; the first
    // read is the shape the session starts with, not a change.
    bool Update(uintptr_t cursor)
    {
        const bool changed = m_seen && cursor != m_last;
        m_last = cursor;
        m_seen = true;
        return changed;
    }
    // Reads the host's cursor (GetCursorInfo) and updates; false when it
    // cannot be read.
    bool Poll();

private:
    uintptr_t m_last = 0;
    bool m_seen = false;
};
