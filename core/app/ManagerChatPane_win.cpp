// The chat pane: shown, hidden, docked into the lobby or floating on its own
// (messages 60118 and 60119), driven by the pane-state bits.
#include "core/app/Manager.h"

#include "core/base/WindowUtil.h"
#include "meeting/CChat.h"
#include "meeting/CMeetingLobby.h"

namespace {

bool Has(int state, int bit)
{
    return (state & bit) != 0;
}

void FocusInput(HWND pane)
{
    if (HWND input = GetDlgItem(pane, kChatInputControl))
        SetFocus(input);
}

} // namespace

void CManager::OnShowChat()
{
    if (!chat || !chat->PaneWindow())
        return;
    HWND pane = chat->PaneWindow();
    HWND lobbyWindow = lobby ? lobby->Window() : nullptr;
    HWND lobbyParent = lobbyWindow ? GetParent(lobbyWindow) : nullptr;
    int state = chat->GetPaneState();
    bool shown = Has(state, kChatPaneShown);
    bool docked = Has(state, kChatPaneDocked);

    if (shown && docked) {
        if (lobbyParent) {
            PostMessageW(lobbyParent, PLM_RECORD_FRAME, 0, 0);
            ShowWindow(lobbyParent, SW_SHOW);
        }
        FocusInput(pane);
        chat->SetPaneState(kChatPaneShown | kChatPaneDocked);
    } else if (shown) {
        ShowWindow(pane, SW_HIDE);
        chat->SetPaneState(kChatPaneHidden);
    } else if (!docked) {
        ShowWindow(pane, SW_SHOW);
        FocusInput(pane);
        chat->SetPaneState(kChatPaneShown);
    } else {
        // Hidden and docked: undock into a floating window of its own.
        SetParent(pane, nullptr);
        LONG_PTR style = GetWindowLongPtrW(pane, GWL_STYLE);
        style = (style & ~static_cast<LONG_PTR>(WS_CHILD)) | WS_POPUP | WS_CAPTION;
        SetWindowLongPtrW(pane, GWL_STYLE, style);
        MakeOwnLayeredWindow(pane);
        SetWindowPos(pane, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_FRAMECHANGED);
        if (lobbyParent)
            ShowWindow(lobbyParent, SW_HIDE);
        ShowWindow(pane, SW_SHOW);
        chat->SetPaneState(kChatPaneShown);
    }
}

void CManager::OnDockPanel(WPARAM dock, LPARAM lParam)
{
    if (!chat || !chat->PaneWindow() || !lobby || !lobby->Window())
        return;
    HWND pane = chat->PaneWindow();
    HWND lobbyWindow = lobby->Window();
    int state = chat->GetPaneState();
    bool shown = Has(state, kChatPaneShown);
    bool docked = Has(state, kChatPaneDocked);

    if (!docked) {
        SetWindowLongPtrW(pane, GWL_EXSTYLE,
                          GetWindowLongPtrW(pane, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
        // The chat takes its band below the lobby's page again.
        chat->DockInto(lobbyWindow);
        ShowWindow(lobbyWindow, SW_SHOW);
        chat->SetPaneState(kChatPaneShown | kChatPaneDocked);
        if (dock != 0 && lParam != 0)
            SetForegroundWindow(lobbyWindow);
    } else if (!shown) {
        ShowWindow(lobbyWindow, SW_SHOW);
        chat->SetPaneState(kChatPaneShown | kChatPaneDocked);
    } else if (dock == 0) {
        ShowWindow(lobbyWindow, SW_HIDE);
        chat->SetPaneState(kChatPaneHidden | kChatPaneDocked);
    }
}
