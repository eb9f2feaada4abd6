#pragma once
// A poll panel of a meeting: kind 1 (the coordinator's) or kind 2.
#include "core/base/CHeap.h"

#include <windows.h>

class MeetingContext;

constexpr int kPollButtonFirst = 2000;
constexpr int kPollButtonLast = 2006;

class CPolling : public CHeap {
public:
    CPolling(MeetingContext* meeting, HWND parent, int kind);
    ~CPolling() override;
    CPolling(const CPolling&) = delete;
    CPolling& operator=(const CPolling&) = delete;

    // Participant: parses the poll's opening text and shows the panel.
    void ShowReceivedPoll(const char* text);
    // Coordinator: counts a received "PL_POLLING_SUBMIT: " answers text.
    void OnRecvSubmit(const char* text);
    // Participant: sends the answers as packet 16 (on packet 17).
    void SubmitAnswers();
    // Coordinator: one expected answer fewer; packet 17 when none remain.
    void OnAnswerCounted();
    // Stores state 0 or 1 for toolbar button 2000-2006; other commands are
    // ignored. Returns whether the command was in range.
    static bool SetToolbarButtonState(int command, int state);
    // The stored state of a toolbar button, 0 for a command out of range.
    static int ToolbarButtonState(int command);

    HWND Window() const { return m_hWnd; }
    int Kind() const { return m_kind; }

    HWND m_hWnd = nullptr;

private:
    MeetingContext* m_meeting;
    HWND m_parent;
    int m_kind;
};
