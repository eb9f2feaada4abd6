#include "Technician/connection/ViewerInput.h"

#include <cstdlib>

namespace viewer {

namespace {

bool IsRelease(PointerMessage m)
{
    return m == PointerMessage::LeftUp || m == PointerMessage::RightUp;
}

unsigned AsMiddle(unsigned flags)
{
    return (flags & ~(kMkLeft | kMkRight)) | kMkMiddle;
}

} // namespace

PointerInput::Timer PointerInput::event(int x, int y, unsigned flags, PointerMessage message,
                                        const ViewScale& scale, MessageWriter& out)
{
    if (!m_options.emulateThreeButtons) {
        send(x, y, flags, scale, out);
        return Timer::Keep;
    }
    if (m_held) {
        const bool moved = std::abs(x - m_heldX) > m_options.emulationFuzz ||
                           std::abs(y - m_heldY) > m_options.emulationFuzz;
        if (IsRelease(message) || moved) {
            m_held = false;
            send(m_heldX, m_heldY, m_heldFlags, scale, out);
            send(x, y, flags, scale, out);
            return Timer::Kill;
        }
        if ((message == PointerMessage::LeftDown && (m_heldFlags & kMkRight)) ||
            (message == PointerMessage::RightDown && (m_heldFlags & kMkLeft))) {
            m_held = false;
            m_emulatingMiddle = true;
            send(x, y, AsMiddle(flags), scale, out);
            return Timer::Kill;
        }
        send(x, y, flags & ~(m_heldFlags & (kMkLeft | kMkRight)), scale, out);
        return Timer::Keep;
    }
    if (m_emulatingMiddle) {
        if (!(flags & (kMkLeft | kMkRight))) {
            m_emulatingMiddle = false;
            send(x, y, flags, scale, out);
        } else {
            send(x, y, AsMiddle(flags), scale, out);
        }
        return Timer::Keep;
    }
    if ((message == PointerMessage::LeftDown && !(flags & kMkRight)) ||
        (message == PointerMessage::RightDown && !(flags & kMkLeft))) {
        m_held = true;
        m_heldX = x;
        m_heldY = y;
        m_heldFlags = flags;
        return Timer::Start;
    }
    send(x, y, flags, scale, out);
    return Timer::Keep;
}

void PointerInput::timerFired(const ViewScale& scale, MessageWriter& out)
{
    if (!m_held)
        return;
    m_held = false;
    send(m_heldX, m_heldY, m_heldFlags, scale, out);
}

void PointerInput::send(int x, int y, unsigned flags, const ViewScale& scale, MessageWriter& out)
{
    uint8_t mask = 0;
    if (flags & kMkLeft)
        mask |= 1;
    if (flags & kMkMiddle)
        mask |= m_options.swapMouse ? 4 : 2;
    if (flags & kMkRight)
        mask |= m_options.swapMouse ? 2 : 4;
    const int16_t wheel = static_cast<int16_t>(flags >> 16);
    if (wheel > 0)
        mask |= 8;
    else if (wheel < 0)
        mask |= 16;
    scale.framebufferPointOf(x, y, m_lastX, m_lastY);
    m_lastMask = mask & 7;
    out.send(PointerEventMessage(mask, m_lastX, m_lastY));
    if (wheel != 0)
        out.send(PointerEventMessage(0, m_lastX, m_lastY));
}

void PointerInput::sendRaw(uint8_t mask, MessageWriter& out)
{
    out.send(PointerEventMessage(mask, m_lastX, m_lastY));
}

void PointerInput::wheel(int delta, MessageWriter& out)
{
    if (delta == 0)
        return;
    const uint8_t button = delta > 0 ? 8 : 16;
    const int size = std::abs(delta);
    const int clicks = (size - 1) / 120 + 1;
    for (int i = 0; i < clicks; ++i) {
        sendRaw(static_cast<uint8_t>(m_lastMask | button), out);
        sendRaw(static_cast<uint8_t>(m_lastMask & ~button), out);
    }
}

Bytes MonitorRequest(int x, int y, const ViewScale& scale)
{
    if (x == kSetSWFirstMonitor && y == kSetSWFirstMonitor)
        return SetSWMessage(6, 6);
    if (x == kSetSWAllMonitors && y == kSetSWAllMonitors)
        return SetSWMessage(1, 1);
    int fx = 0, fy = 0;
    scale.framebufferPointOf(x, y, fx, fy);
    return SetSWMessage(fx, fy);
}

void KeyInput::key(unsigned virtualKey, uint32_t keyData, KeyboardLayout& layout, MessageWriter& out)
{
    const bool down = (keyData & 0x80000000u) == 0;
    KeyTranslation t;
    const auto pressed = m_pressed.find(virtualKey);
    if (!down && pressed != m_pressed.end()) {
        t = pressed->second;
        m_pressed.erase(pressed);
    } else {
        t = TranslateKeyToKeysym(virtualKey, keyData, layout);
        if (down)
            m_pressed[virtualKey] = t;
    }
    const KeyStrokes s = StrokesFor(t, down);
    for (int i = 0; i < s.count; ++i)
        out.send(KeyEventMessage(s.strokes[i].keysym, s.strokes[i].down));
}

void SendModifierReleases(MessageWriter& out)
{
    for (uint32_t sym : kFocusLossReleases)
        out.send(KeyEventMessage(sym, false));
}

} // namespace viewer
