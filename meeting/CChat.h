#pragma once
// The chat of a meeting: its pane (docked into the lobby or a top-level
// window) with the history, the input and the recipient list, and its
// receive thread on the chat channel. Messages go out as meeting packets on
// the control channel; every received one is posted to the pane as a heap
// copy that its handler owns.
#include "core/base/AnchorLayout_win.h"
#include "core/base/BoundedThread.h"
#include "core/base/CHeap.h"
#include "meeting/ChatContext.h"
#include "meeting/ChatFrame.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// Pane-state bits.
constexpr int kChatPaneShown = 1;
constexpr int kChatPaneHidden = 2;
constexpr int kChatPaneDocked = 4;
constexpr int kChatInputControl = 1041;
// To the pane: the participant list changed (the recipients are rebuilt).
constexpr UINT WM_CHAT_RECIPIENTS = WM_USER + 256;
// WM_COMMAND id of a received message (lParam: a ChatFrame the handler frees).
constexpr int kChatReceivedCommand = 1056;
// To the parent when a message is typed while docked: the frame stops
// flashing (the frame's WM_FRAME_FLASH_STOP).
constexpr UINT WM_CHAT_TYPED = WM_USER + 6;

class CChat : public CHeap {
public:
    // parent: the lobby's frame to dock into, or null for a floating chat.
    CChat(HWND parent, std::shared_ptr<ChatContext> context);
    // Stops its receive thread before anything it uses goes.
    ~CChat() override;
    CChat(const CChat&) = delete;
    CChat& operator=(const CChat&) = delete;

    // 0 when the dialog could not be made.
    int CreateDlg();
    // Starts reading the chat channel (messages go to the pane made before;
    // without one they are read and dropped); false without a channel or
    // when running. After a frame of another type the channel is still read
    // to its end, and nothing more is shown.
    bool StartReceive();
    int GetPaneState() const { return m_paneState.load(); }
    void SetPaneState(int state) { m_paneState.store(state); }
    // Docks the pane into the lobby's frame again (after floating).
    void DockInto(HWND lobby);
    // The hint for a new host, centred over the history.
    void ShowHostHint();
    // Sends the input's text to the chosen recipient (the Send button) and
    // puts the focus back into the input.
    void SendTyped();

    HWND PaneWindow() const { return m_hPane; }
    HWND HintWindow() const { return m_hint; }
    // The receive thread runs (until the stop or the channel's end).
    bool Receiving() const { return m_thread.Running(); }
    // What waited before the start is dropped: frames are read from here.
    bool Listening() const { return m_listening->load(); }
    // Main thread: messages held until their sender is listed.
    size_t HeldMessages() const { return m_held.size(); }

    HWND m_hPane = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK HintProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(int id, int code, LPARAM lParam);
    void OnInputChanged();
    void Send(std::wstring text);
    void OnReceived(std::unique_ptr<ChatFrame> frame);
    void ShowReceived(const ChatFrame& frame, bool toMe, const std::wstring& sender);
    void RebuildRecipients();
    void AppendHistory(const std::wstring& sender, const std::wstring& recipient, const std::wstring& text,
                       COLORREF headerColour);
    void AppendNote(const std::wstring& text);
    void PlaceDocked();
    void ReceiveLoop(std::uintptr_t channel);
    void FreePosted();

    std::shared_ptr<ChatContext> m_context;
    HWND m_parent;
    bool m_floating;
    HWND m_history = nullptr;
    HWND m_input = nullptr;
    HWND m_list = nullptr;
    HWND m_hint = nullptr;
    HBRUSH m_hintBrush = nullptr;
    CAnchorLayout m_layout;
    std::wstring m_chosen;
    std::vector<std::wstring> m_names;
    std::atomic<int> m_paneState{kChatPaneShown | kChatPaneDocked};
    bool m_ignoreChange = false;
    // Messages from a sender not (yet) in the list, with the number of
    // lists seen since (main thread).
    struct Held {
        std::unique_ptr<ChatFrame> frame;
        int listsSeen = 0;
    };
    std::vector<Held> m_held;

    BoundedThread m_thread;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> m_listening = std::make_shared<std::atomic<bool>>(false);
};
