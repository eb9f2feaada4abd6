#pragma once
// File sharing of a meeting: its send and receive threads and its dialogs.
#include "core/base/CHeap.h"
#include "core/base/ChannelDrain.h"

#include <windows.h>

class MeetingContext;

class FileShare : public CHeap {
public:
    explicit FileShare(MeetingContext* meeting);
    // Closes first: no thread outlives the object.
    ~FileShare() override;
    FileShare(const FileShare&) = delete;
    FileShare& operator=(const FileShare&) = delete;

    void StartRecvThread();
    void StartSendThread();
    // Stops both threads and destroys the dialogs.
    void Close();
    // A received file-share message (packet type 29).
    void OnMessage(const char* text);

    // CBT hook for file and folder dialogs: makes each new dialog layered and
    // registers it as an own window. The installer keeps the hook handle.
    static LRESULT CALLBACK OpenFileDlgHook(int code, WPARAM wParam, LPARAM lParam);
    static HHOOK s_openFileDlgHook;

private:
    MeetingContext* m_meeting;
    ChannelDrain m_drain;
};
