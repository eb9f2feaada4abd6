#pragma once
// Attaches the calling thread to the desktop that receives the user's input
// (it changes to "Winlogon" or "Screen-saver" and back), so that the sharing
// host's threads capture and inject on the desktop the user sees.

// 1 when the calling thread now uses the current input desktop; 0 when that
// desktop cannot be opened or the thread cannot switch (it keeps its desktop).
// The desktop handle a thread is switched to stays open while the thread uses
// it; the one it replaces is closed, so repeated calls hold one handle per
// thread, and that one is closed when the thread ends.
int SelectInputDesktop();
