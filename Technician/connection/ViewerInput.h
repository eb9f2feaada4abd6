// The participant's keys, pointer and clipboard as RFB messages, on bytes:
// keys through KeyTranslation, the pointer through the three-button
// emulation, the view's scale and scroll, and the wheel. Each message goes
// whole through the MessageWriter (which throws when it cannot go out). The
// caller decides whether input may go at all (control held).
#pragma once

#include "Technician/connection/KeyTranslation.h"
#include "Technician/connection/MessageWriter.h"
#include "Technician/connection/ViewScale.h"

#include <map>

namespace viewer {

// Mouse-key bits of the pointer messages (Windows MK_ values); the wheel
// delta of a wheel message sits in the high word.
constexpr unsigned kMkLeft = 0x01, kMkRight = 0x02, kMkMiddle = 0x10;

enum class PointerMessage { Move, LeftDown, LeftUp, RightDown, RightUp, MiddleDown, MiddleUp, Wheel };

struct PointerOptions {
    bool swapMouse = false;
    bool emulateThreeButtons = true;
    int emulationTimeoutMs = 100;
    int emulationFuzz = 4;
};

// The emulation timer's id on the viewer window.
constexpr unsigned kEmulationTimerId = 152;

// Monitor-request codes: the first monitor, all monitors.
constexpr int kSetSWFirstMonitor = 9997;
constexpr int kSetSWAllMonitors = 9999;

class PointerInput {
public:
    explicit PointerInput(const PointerOptions& options = PointerOptions()) : m_options(options) {}

    enum class Timer { Keep, Start, Kill };
    // One mouse message at a window point; what to do with the emulation
    // timer after it.
    Timer event(int x, int y, unsigned flags, PointerMessage message, const ViewScale& scale, MessageWriter& out);
    // The emulation timer fired: the held press goes out alone.
    void timerFired(const ViewScale& scale, MessageWriter& out);
    // The wheel of the frame: one button 4 (up) or 5 (down) press and release
    // per notch of 120, at the last point sent.
    void wheel(int delta, MessageWriter& out);

    bool holding() const { return m_held; }
    int lastX() const { return m_lastX; }
    int lastY() const { return m_lastY; }

private:
    void send(int x, int y, unsigned flags, const ViewScale& scale, MessageWriter& out);
    void sendRaw(uint8_t mask, MessageWriter& out);

    PointerOptions m_options;
    int m_lastX = 0;
    int m_lastY = 0;
    uint8_t m_lastMask = 0;
    bool m_held = false;
    int m_heldX = 0;
    int m_heldY = 0;
    unsigned m_heldFlags = 0;
    bool m_emulatingMiddle = false;
};

// The monitor request for a window point or one of the codes above; the
// point is converted like a pointer's (ViewScale::framebufferPointOf, which
// scales only with a numerator above 0).
Bytes MonitorRequest(int x, int y, const ViewScale& scale);

// The participant's keys. A key's release lifts what its press sent: the
// layout may translate a release differently (dead-key state, or no
// character at all for a release), which would leave the host's key down.
class KeyInput {
public:
    // One key message (keyData its lParam, bit 31 set on release).
    void key(unsigned virtualKey, uint32_t keyData, KeyboardLayout& layout, MessageWriter& out);

private:
    std::map<unsigned, KeyTranslation> m_pressed;
};
// Lifts every modifier on the host (the viewer lost the focus).
void SendModifierReleases(MessageWriter& out);

} // namespace viewer
