// Whole-screen change sampling. Each poll reads one pixel per 32 x 32 tile;
// over eight polls the sample walks down the tile's diagonal (the phase).
// A sample that differs from the one read eight polls earlier marks the
// top-level window under it as changed, once per poll. A sample with no
// earlier one is compared with what the viewer was last sent there.
#pragma once

#include "rfb/Region.h"

#include <cstdint>
#include <functional>
#include <vector>

// What change detection needs of the window system, in bitmap coordinates.
// Window ids are opaque; 0 is "no window" (and the desktop window itself).
class DesktopWindows {
public:
    using Window = uintptr_t;
    virtual ~DesktopWindows() = default;
    // The top-level window under a point; 0 for the desktop or nothing.
    virtual Window TopLevelAt(int x, int y) = 0;
    // The window's rectangle; false when it is gone or invisible.
    virtual bool VisibleRect(Window w, rfb::Rect& r) = 0;
    virtual Window Foreground() = 0;
    virtual bool IsConsole(Window w) = 0;
};

class PollGrid {
public:
    static constexpr int kTile = 32;
    static constexpr int kPhases = 8;

    // Where the tile with this top-left corner is sampled in a phase: 4 x
    // phase along its diagonal, clamped inside the tile as rect cuts it (the
    // partial tiles at the right and bottom are sampled too).
    static rfb::Point SamplePoint(const rfb::Rect& rect, int tileLeft, int tileTop, int phase);

    // Reads the samples of the current phase over rect and calls changed(x,
    // y) for each that differs from the stored one. The first poll of a
    // phase, or one whose rect differs from the list's, has none stored: it
    // compares with sent(x, y), the viewer's picture at that point, since
    // the screen may have changed unseen after that picture was taken (a
    // blind first fill kept such a change from the viewer for good).
    // Moves on to the next phase.
    void Poll(const rfb::Rect& rect, const std::function<uint32_t(int, int)>& read,
              const std::function<uint32_t(int, int)>& sent, const std::function<void(int, int)>& changed);
    // The one-pixel rows the next Poll over rect reads: all a capture must
    // bring for it (a thirty-second of the screen).
    rfb::Region NextSampleRows(const rfb::Rect& rect) const;
    int Phase() const { return m_phase; }
    void Clear();

private:
    struct Samples {
        rfb::Rect rect;
        std::vector<uint32_t> values;
    };
    Samples m_lists[kPhases];
    int m_phase = 0;
};

// One poll's changed windows: each window's rectangle (clipped) joins the
// region once, however many of its samples changed.
class ChangedWindows {
public:
    ChangedWindows(DesktopWindows& windows, const rfb::Rect& clip, rfb::Region& region)
        : m_windows(windows), m_clip(clip), m_region(region)
    {
    }
    // A changed sample at (x, y). A point inside a window already marked is
    // covered: it needs no lookup (each costs a round trip to the window
    // system, and an animated window has hundreds of changed samples).
    void MarkAt(int x, int y);
    // The whole window counts as changed (the block compare narrows it).
    void Mark(DesktopWindows::Window w);
    size_t Count() const { return m_seen.size(); }

private:
    DesktopWindows& m_windows;
    rfb::Rect m_clip;
    rfb::Region& m_region;
    std::vector<DesktopWindows::Window> m_seen;
    std::vector<rfb::Rect> m_covered;  // the marked windows' clipped rectangles
};
