#pragma once
// The chat of a meeting: its pane (docked into the lobby or a top-level
// window), its input control and its receive thread on the chat channel.
#include "core/base/CHeap.h"
#include "core/base/ChannelDrain.h"

#include <windows.h>

class MeetingContext;

// Pane-state bits.
constexpr int kChatPaneShown = 1;
constexpr int kChatPaneHidden = 2;
constexpr int kChatPaneDocked = 4;
constexpr int kChatInputControl = 1041;

class CChat : public CHeap {
public:
    explicit CChat(MeetingContext* meeting);
    // Stops its receive thread before anything it uses goes.
    ~CChat() override;
    CChat(const CChat&) = delete;
    CChat& operator=(const CChat&) = delete;

    void CreateDlg();
    void StartReceive();
    int GetPaneState() const { return m_paneState; }
    void SetPaneState(int state) { m_paneState = state; }
    // Re-parents the chat controls into the lobby.
    void DockInto(HWND lobby);

    HWND PaneWindow() const { return m_hPane; }

    HWND m_hPane = nullptr;

private:
    MeetingContext* m_meeting;
    ChannelDrain m_drain;
    int m_paneState = kChatPaneShown | kChatPaneDocked;
};
