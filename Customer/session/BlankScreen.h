// The blank screen: while a participant works on the host's screen, the
// people in front of the host's monitor see a blank window (or a monitor
// switched off) and cannot use keyboard and mouse; the viewer keeps seeing
// the real desktop. One state under one lock: however "on" and "off"
// arrive, at most one window runs, and "off" always removes it.
#pragma once

#include <mutex>

class BlankScreenPlatform {
public:
    virtual ~BlankScreenPlatform() = default;
    // Starts the window's thread; the window shows itself.
    virtual bool StartWindow() = 0;
    // Ends the window's thread, whether or not its window exists yet, and
    // joins it.
    virtual void EndWindow() = 0;
    virtual bool ScreenSaverTimeout(int& seconds) = 0;
    virtual void SetScreenSaverTimeout(int seconds) = 0;
    virtual void MonitorPower(bool on) = 0;
    // Local keyboard and mouse off (true) or on; a failure is only logged.
    virtual void BlockLocalInput(bool block) = 0;
};

class BlankScreen {
public:
    // The monitor is switched off for this long of screen-saver time-out.
    static constexpr int kBlankTimeoutSeconds = 100;

    // withWindow: blank with a window (else the monitor goes off).
    BlankScreen(BlankScreenPlatform& platform, bool withWindow) : m_platform(platform), m_withWindow(withWindow) {}
    ~BlankScreen() { Set(false); }
    BlankScreen(const BlankScreen&) = delete;
    BlankScreen& operator=(const BlankScreen&) = delete;

    void Set(bool on);
    bool WindowRunning();
    // The monitor is held off (a saved time-out is kept).
    bool MonitorHeldOff();

private:
    BlankScreenPlatform& m_platform;
    const bool m_withWindow;
    std::mutex m_lock;
    bool m_windowRunning = false;
    bool m_inputBlocked = false;
    // The user's own time-out while the monitor is held off; 0: none saved.
    int m_savedTimeout = 0;
};
