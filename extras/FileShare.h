#pragma once
// File sharing of a meeting: the host offers files, participants download
// them. This is the Windows side: the receive and send threads, the files on
// disk, the dialogs and the file dialogs' hook; the protocol and the
// transfers are FileShareEngine's.
#include "core/base/BoundedThread.h"
#include "core/base/CHeap.h"
#include "extras/FileShareContext.h"
#include "extras/FileShareEngine.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Posted to the dialogs.
constexpr UINT WM_FILESHARE_SETTINGS_DONE = 2097;  // wParam 1 publish, 0 cancel
constexpr UINT WM_FILESHARE_HOST_REFRESH = 2098;   // lParam a file id or 0
constexpr UINT WM_FILESHARE_FILE_EVENT = 2100;     // wParam file id, lParam FileEventKind
constexpr UINT WM_FILESHARE_FILE_CHOSEN = WM_APP + 61;  // wParam the new file's id

class FileShareDisk;

// A text of file sharing's string table.
const wchar_t* FileShareText(UINT id);

class FileShare : public CHeap,
                  private fileshare::Link,
                  private fileshare::Clock,
                  private fileshare::HostEvents,
                  private fileshare::ParticipantEvents {
public:
    explicit FileShare(std::unique_ptr<FileShareContext> context);
    // Closes first: no thread outlives the object.
    ~FileShare() override;
    FileShare(const FileShare&) = delete;
    FileShare& operator=(const FileShare&) = delete;

    void StartRecvThread();
    void StartSendThread();
    // Stops both threads, ends open file dialogs and destroys the dialogs.
    void Close();
    // A received file-share payload (packet type 29).
    void OnMessage(const uint8_t* payload, size_t length);

    // Main thread, from the lobby.
    void SetRole(int role);
    // The host's or the participant's dialog, by role.
    void ShowWindow();
    // On quitting: "stop sharing" when files are shared.
    void WithdrawShares();
    // After each participant list.
    void SyncParticipants();
    void SyncReceivedFiles();
    // Downloads run at the host (set by either side's messages).
    bool HostHasTransfers() const { return m_hostTransfers.load(); }

    HWND HostDialog() const { return m_hostDlg.load(); }
    HWND ParticipantDialog() const { return m_participantDlg.load(); }
    fileshare::FileShareHost& Host() { return *m_host; }
    fileshare::FileShareReceiver& Receiver() { return *m_receiver; }

    // CBT hook for file and folder dialogs: makes each new dialog layered
    // and registers it as an own window. DialogHook installs it on the
    // calling thread for its lifetime; the handle is that thread's own.
    static LRESULT CALLBACK OpenFileDlgHook(int code, WPARAM wParam, LPARAM lParam);
    class DialogHook {
    public:
        DialogHook();
        ~DialogHook();
        DialogHook(const DialogHook&) = delete;
        DialogHook& operator=(const DialogHook&) = delete;

    private:
        HHOOK m_previous;
    };

private:
    // fileshare::Link
    bool Send(const fileshare::Bytes& payload) override;
    std::string OwnSession() override;
    void Log(const std::string& line) override;
    // fileshare::Clock
    uint64_t NowMs() override;
    // fileshare::HostEvents
    void DownloadBegun(const std::string& user, const std::string& fileName) override;
    void DownloadDone(const std::string& user, const std::string& fileName) override;
    void Refresh(int fileId) override;
    void TransfersActive(bool active) override;
    // fileshare::ParticipantEvents
    void FileEvent(int fileId, int kind) override;
    void Announced(const std::string& fileName) override;
    void WriteFailed(const std::string& fileName) override;

    void RecvLoop(std::uintptr_t channel);
    void SendLoop();
    bool RunFileDialog(HWND owner, std::atomic<DWORD>& threadId, bool save, std::wstring& path);
    void SelectFileThread(HWND owner);
    void SaveFileThread(HWND owner, int id);
    void EndFileDialogs();
    std::wstring MemberName(const std::string& session);

    // Dialogs (FileShareDialogs_win.cpp).
    static INT_PTR CALLBACK HostDlgProc(HWND, UINT, WPARAM, LPARAM);
    static INT_PTR CALLBACK SettingsDlgProc(HWND, UINT, WPARAM, LPARAM);
    static INT_PTR CALLBACK UsersDlgProc(HWND, UINT, WPARAM, LPARAM);
    static INT_PTR CALLBACK ParticipantDlgProc(HWND, UINT, WPARAM, LPARAM);
    void OnHostInit(HWND dlg);
    void OnHostCommand(HWND dlg, int id);
    void OnFileChosen(int id);
    void OnSettingsDone(HWND dlg, bool publish);
    void ShowSettings(int id, bool isNew);
    void ShowUsers(int id);
    void FillHostFiles();
    void FillUsers();
    int SelectedHostFile() const;
    void OnParticipantInit(HWND dlg);
    void FillReceived();
    void UpdateReceived(int id);
    void OnParticipantCommand(HWND dlg, int id);

    std::unique_ptr<FileShareContext> m_context;
    std::unique_ptr<FileShareDisk> m_disk;
    std::unique_ptr<fileshare::FileShareHost> m_host;
    std::unique_ptr<fileshare::FileShareReceiver> m_receiver;
    std::atomic<int> m_role{0};
    std::atomic<bool> m_hostTransfers{false};

    std::atomic<bool> m_stop{false};
    std::mutex m_stopLock;
    std::condition_variable m_stopSignal;
    BoundedThread m_recvThread;
    BoundedThread m_sendThread;
    BoundedThread m_selectThread;
    BoundedThread m_saveThread;
    std::atomic<DWORD> m_selectThreadId{0};
    std::atomic<DWORD> m_saveThreadId{0};
    // Set while a download's save dialog is open: past it, the thread is
    // ending (or showing a box) and a new download waits for it.
    std::atomic<bool> m_saving{false};

    std::atomic<HWND> m_hostDlg{nullptr};
    std::atomic<HWND> m_participantDlg{nullptr};
    HWND m_settingsPanel = nullptr;
    HWND m_usersPanel = nullptr;
    int m_settingsId = 0;
    bool m_settingsNew = false;
    int m_usersId = 0;
    // Sessions behind the rows of the settings and users panels.
    std::vector<std::string> m_settingsMembers;
    std::vector<std::string> m_usersSessions;
};
