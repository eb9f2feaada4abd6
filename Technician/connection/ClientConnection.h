#pragma once
// The viewer's connection on the sharing channel's client end.
#include "core/base/CHeap.h"
#include "core/base/WinHandle.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>

class MeetingContext;

class ClientConnection : public CHeap {
public:
    ClientConnection(MeetingContext* meeting, SOCKET socket);
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // The start exchange with the host's server, then the reader thread; sets
    // "vnc server is created". 1 on success, any other value on failure.
    int Run();

    // Set once the connection is ready to draw (waited for on a sharing resume).
    HANDLE ReadyEvent() const { return m_readyEvent.get(); }
    // Cleared by the manager before it deletes the frame.
    std::atomic<int> m_active{1};

private:
    MeetingContext* m_meeting;
    SOCKET m_socket;
    WinHandle m_readyEvent;
};
