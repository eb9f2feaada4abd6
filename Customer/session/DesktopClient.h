// What the desktop thread hands its findings to: the viewer's client.
//
// Lock order, for every thread of a session: the server's client lock, then
// the input-desktop lock, then the update lock (the frame buffers' lock,
// which is also the client's). The desktop thread never takes the client
// lock: it reaches the client only through this interface.
#pragma once

#include "rfb/UpdateTracker.h"

class DesktopClient {
public:
    virtual ~DesktopClient() = default;

    // With the update lock held.
    // The viewer has asked for something not yet sent (its requested region
    // is not empty).
    virtual bool UpdateWantedLocked() = 0;
    virtual rfb::UpdateTracker& TrackerLocked() = 0;
    virtual void TriggerUpdateLocked() = 0;

    // Without the update lock.
    // The input desktop is out of reach (true) or back (false): the viewer
    // is told once per change, whichever thread notices it first.
    virtual void ReportInputDesktop(bool lost) = 0;
    // The screen has a new size: the viewer is told, or the session ends.
    virtual void NewDesktopSize(int width, int height) = 0;
    // The shared part of the screen moved or changed size (a window, one
    // display, or the whole screen again; single: a window). What was
    // found for the old area is dropped; on a new size the viewer is told
    // before anything of the new area reaches it.
    virtual void NewSharedArea(const rfb::Rect& area, bool single, bool sizeChanged) = 0;
    // Capture cannot go on: the session ends, its connection too (so a
    // read waiting on it returns).
    virtual void EndSession() = 0;
};
