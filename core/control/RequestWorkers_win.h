#pragma once
// The worker threads of control and host requests: the host hand-over, the
// sharing request, the ready wait and the host-invitation prompt. Each thread
// gets its own copy of its arguments (nothing is shared between two starts),
// and every thread is cancelled and joined before the owner goes away; an
// open prompt is answered "No" on cancel and its answer is not sent. The
// join has a limit, and a fault inside a worker is logged and ends only it.
// A worker left behind past the limit (a request to a slow appliance) keeps
// what it uses of this object alive; the environment and the requests it
// was given must outlive it (the manager's handlers hold both for the run).
#include "core/control/HostHandover.h"
#include "core/control/ControlRequests.h"
#include "core/base/BoundedThread.h"

#include <windows.h>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>

class RequestWorkers {
public:
    RequestWorkers(HandoverEnv& env, ControlRequests& requests);
    ~RequestWorkers();
    RequestWorkers(const RequestWorkers&) = delete;
    RequestWorkers& operator=(const RequestWorkers&) = delete;

    void StartHandover(const std::string& newHost);
    void StartSharingRequest(const std::string& session);
    void StartReadyWait();
    // A Yes/No question with no owner window; the answer goes back as
    // PLP_HOST_ACCEPT or PLP_HOST_DECLINE to the coordinator.
    void StartHostPrompt(const std::wstring& text, const std::string& coordinator);
    // Stops every worker at its next wait and joins them all, within
    // kJoinMs together; false when one was left behind (logged).
    bool CancelAndJoin();
    static constexpr unsigned kJoinMs = 3000;
    size_t Running();

private:
    class Guarded;
    struct Worker {
        BoundedThread thread;
        // Shared with the thread, which sets it when it starts.
        std::shared_ptr<std::atomic<DWORD>> threadId = std::make_shared<std::atomic<DWORD>>(0);
    };
    template <class Body>
    void Launch(Body body);
    void Reap();

    ControlRequests& m_requests;
    // Shared with every worker, with the cancellation inside.
    std::shared_ptr<Guarded> m_guarded;
    std::mutex m_lock;
    std::list<Worker> m_workers;
};
