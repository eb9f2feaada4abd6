// Invitations sent on worker threads: each worker owns its copy of the
// request session (with a transport of its own) and of the texts, checks the
// addresses, sends, writes the log line, and reports whether it was sent to a
// window that may have gone meanwhile (then the report goes nowhere).
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/Invitation.h"
#include "core/base/BoundedThread.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Checks, sends and logs one invitation on the calling thread; true when the
// appliance took it (error number 0).
bool SendInvitation(CgiSession& session, const InvitationTexts& texts, const std::string& meetingNameUtf8,
                    const std::wstring& eventPrefix);

// Where a worker's report goes: a window, until its owner says it is gone.
class InviteReportTarget {
public:
    InviteReportTarget(HWND window, UINT message) : m_window(window), m_message(message) {}
    // Posts (message, sent) to the window while it is set.
    void Report(bool sent);
    void Forget();

private:
    std::mutex m_lock;
    HWND m_window;
    UINT m_message;
};

class InvitationWorkers {
public:
    InvitationWorkers() = default;
    // Workers still waiting on the appliance are left to end on their own:
    // they touch only what they own.
    ~InvitationWorkers();
    InvitationWorkers(const InvitationWorkers&) = delete;
    InvitationWorkers& operator=(const InvitationWorkers&) = delete;

    // A worker with its own session copy over transport; target may be null.
    bool Start(const CgiSession& session, std::unique_ptr<ICgiTransport> transport, const InvitationTexts& texts,
               const std::string& meetingNameUtf8, const std::wstring& eventPrefix,
               std::shared_ptr<InviteReportTarget> target);
    // Workers that have not ended yet.
    size_t Running() const;

private:
    std::vector<std::unique_ptr<BoundedThread>> m_threads;
};
