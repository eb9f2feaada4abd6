// The host's clipboard while a session runs: a hidden window of its own
// thread sits in the clipboard-viewer chain and hands each new text of the
// host's clipboard to the session; the viewer's text is put on the host's
// clipboard under that window, so it is not sent back (ClipboardWatch_win.cpp).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class ClipboardWatch {
public:
    // Host text for the viewer (line feeds only).
    using Sink = std::function<void(const std::string&)>;

    // Starts the window's thread; the notification that comes on joining
    // the chain is not passed on.
    explicit ClipboardWatch(Sink sink);
    // Leaves the chain and joins the thread.
    ~ClipboardWatch();
    ClipboardWatch(const ClipboardWatch&) = delete;
    ClipboardWatch& operator=(const ClipboardWatch&) = delete;

    bool Running() const { return m_hwnd.load() != nullptr; }
    // The viewer's text on the host's clipboard as CF_TEXT; false (and the
    // clipboard untouched) when it cannot be opened or emptied.
    bool SetText(const std::string& viewerText) { return SetTextAs(m_hwnd.load(), viewerText); }
    // The same with another owner (null: no watch runs).
    static bool SetTextAs(HWND owner, const std::string& viewerText);

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Run(HANDLE ready);
    void OnDrawClipboard(HWND hwnd);

    Sink m_sink;
    std::atomic<HWND> m_hwnd{nullptr};
    HWND m_next = nullptr;
    bool m_initialSeen = false;
    std::thread m_thread;
};
