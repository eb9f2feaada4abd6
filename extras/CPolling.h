#pragma once
// A polling panel of a meeting. Role 1, the editing panel: the coordinator
// (or an assist allowed to poll) writes a poll, opens it, watches the answers
// and ends it, and saves or opens ".plp" and ".plpr" files. Role 2, the
// answering panel: a received poll is answered and submitted. Both are
// modeless dialogs owned by the lobby window, hidden at first.
//
// The receive thread only posts to a panel (ShowReceivedPoll, OnRecvSubmit,
// SubmitAnswers, each with a copy of its text); the window work is done on
// the main thread. Message boxes and file dialogs run on a popup thread.
#include "core/base/CHeap.h"
#include "extras/PollPopupThread_win.h"
#include "extras/PollRecord.h"
#include "extras/PollTally.h"

#include <windows.h>

#include <memory>
#include <string>

class PollContext;
class CPollTree;
class CPollRet;

constexpr int kPollButtonFirst = 2000;
constexpr int kPollButtonLast = 2006;

class CPolling : public CHeap {
public:
    enum class State { Editing = 1, Open = 2, Closed = 3 };

    CPolling(PollContext* context, HWND parent, int role);
    // Closes its boxes and dialogs, joins their thread, then goes.
    ~CPolling() override;
    CPolling(const CPolling&) = delete;
    CPolling& operator=(const CPolling&) = delete;

    // Any thread: a complete received poll text (UTF-8) for the answering panel.
    void ShowReceivedPoll(const char* text);
    // Any thread: a received submit text for the editing panel.
    void OnRecvSubmit(const char* text);
    // Any thread: the poll was ended (packet 17): the answering panel sends
    // what has been answered, if it is still shown.
    void SubmitAnswers();
    // Main thread, after each participant-list refresh: renames asked
    // participants, and counts each one no longer present once as answered.
    void SyncParticipants(const PollPeople& present);

    // Stores state 0 or 1 for toolbar button 2000-2006; other commands are
    // ignored. Returns whether the command was in range.
    static bool SetToolbarButtonState(int command, int state);
    // The stored state of a toolbar button, 0 for a command out of range.
    static int ToolbarButtonState(int command);

    HWND Window() const { return m_hWnd; }
    int Kind() const { return m_kind; }
    State GetState() const { return m_state; }
    CPollTree* Editor() const { return m_editor.get(); }
    CPollRet* ResultView() const { return m_results.get(); }
    HWND DetailWindow() const { return m_detail; }
    const PollTally& Tally() const { return m_tally; }
    bool ResultsSaved() const { return m_resultsSaved; }

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DetailProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void InitDialog();
    void CreateToolbar();
    bool OnCommand(int id);
    void OnToolbarCommand(int id);
    void UpdateToolbar();
    void SetState(State state);
    void ShowStatus();
    void ShowDetail(const std::wstring& text);

    // Editing panel.
    void OpenPoll();
    void SendPoll();
    void ClosePoll();
    void FinishPoll();
    // Nobody is awaited any more: 17 to everyone, then the final results.
    void EndByLastAnswer();
    void NewPoll();
    void BackToEditing();
    void Save();
    // On the popup thread: asks question (none: straight on) and on Yes
    // saves the job's bytes as a poll or result file.
    void SaveOnPopup(UINT question, UINT buttons, bool results);
    void OpenFile();
    void OnPopupDone();
    void OnSubmitReceived(const std::string& text);
    // Answering panel.
    void OnPollReceived(const std::string& text);
    void Submit();

    bool PostText(UINT message, const char* text);
    void StartPopup(std::function<void()> job);

    PollContext* m_context;
    HWND m_parent;
    int m_kind;
    HWND m_detail = nullptr;
    HWND m_toolbar = nullptr;
    std::unique_ptr<CPollTree> m_editor;
    std::unique_ptr<CPollRet> m_results;
    State m_state = State::Editing;
    PollTally m_tally;
    std::string m_pollText;
    bool m_resultsSaved = true;

    // What the popup thread was asked and what it gave back (written by it,
    // read here after the join).
    enum class Popup { None, Warning, AskSaveQuestions, AskSaveResults, Save, Open };
    struct PopupJob {
        Popup kind = Popup::None;
        int answer = 0;
        bool saved = false;
        bool results = false;
        std::string bytes;   // to write, or as read
        PollPeople asked;    // kept from "Open Polling" until the send
        PollRecord record;
    };
    PopupJob m_job;
    PollPopupThread m_popup;
};
