#include "Customer/session/BlankScreen.h"

#include "Customer/encode/HostLog.h"

void BlankScreen::Set(bool on)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (on != m_inputBlocked) {
        m_platform.BlockLocalInput(on);
        m_inputBlocked = on;
    }
    if (m_withWindow) {
        if (on && !m_windowRunning) {
            m_windowRunning = m_platform.StartWindow();
            if (!m_windowRunning)
                HostLog(kHostLogError, "blank screen window could not be started\n");
        } else if (!on && m_windowRunning) {
            m_platform.EndWindow();
            m_windowRunning = false;
        }
        return;
    }
    if (on) {
        // A second "on" keeps the user's time-out, not the blank one.
        if (m_savedTimeout == 0) {
            int seconds = 0;
            if (m_platform.ScreenSaverTimeout(seconds) && seconds > 0) {
                m_savedTimeout = seconds;
                m_platform.SetScreenSaverTimeout(kBlankTimeoutSeconds);
            }
        }
        m_platform.MonitorPower(false);
    } else if (m_savedTimeout != 0) {
        m_platform.SetScreenSaverTimeout(m_savedTimeout);
        m_savedTimeout = 0;
        m_platform.MonitorPower(true);
    }
}

bool BlankScreen::WindowRunning()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_windowRunning;
}

bool BlankScreen::MonitorHeldOff()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_savedTimeout != 0;
}
