#pragma once
// A modal loop on the main thread (a message box, a dialog) dispatches every
// message it takes, and a thread message has no window to go to: it would be
// dropped, a quit among them, and the program would not end. While a
// ModalLoopMessages lives, a message filter hook on its thread keeps those
// messages instead, for the thread's own loop to handle once the modal loop
// has returned. A kept message that ends the run also ends the modal loops:
// WM_QUIT closes each one, and each passes it on to the loop around it.
#include <windows.h>

#include <deque>
#include <vector>

class ModalLoopMessages {
public:
    explicit ModalLoopMessages(std::vector<UINT> endingMessages);
    ~ModalLoopMessages();
    ModalLoopMessages(const ModalLoopMessages&) = delete;
    ModalLoopMessages& operator=(const ModalLoopMessages&) = delete;

    // The oldest kept message; false when none is left. Taking a message
    // that ended the modal loops also takes the WM_QUIT they passed on.
    bool Take(MSG& msg);

private:
    static LRESULT CALLBACK Filter(int code, WPARAM wParam, LPARAM lParam);
    bool Keep(const MSG& msg);

    std::vector<UINT> m_ending;
    std::deque<MSG> m_kept;
    bool m_quitPosted = false;
    HHOOK m_hook = nullptr;
    ModalLoopMessages* m_outer = nullptr;
};
