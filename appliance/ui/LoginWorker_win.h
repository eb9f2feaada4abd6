// The network part of a login's first step on a thread of its own: resolve
// the appliance and discover the proxy (first attempts), check the
// appliance's certificate, then query the domains (host road) or log in as a
// guest (join road). The worker works on its own copy of the request session
// with its own transport and touches nothing of the window: it leaves its
// result in a mailbox shared with the window and posts a note to the page.
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/ProxyConfig.h"
#include "core/base/WinHandle.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

constexpr UINT WM_LOGIN_RESULT = WM_USER + 0x214;    // wParam result, lParam generation
constexpr UINT WM_CONNECT_RESULT = WM_USER + 0x215;  // wParam result, lParam generation

enum class WorkerRoad { Connect, Guest };

struct WorkerJob {
    WorkerRoad road = WorkerRoad::Connect;
    int mode = 2;  // 1 guest, 2 host: resolve and discover first; 3 retry: neither
    std::unique_ptr<ICgiTransport> transport;
    CgiSession session;  // its transport is the one above
    ProxyConfig proxyConfig;
    uint8_t proxyType = 0;
    bool checkCertificate = true;
    // The check was skipped for a certificate the user trusts for this
    // server: a first step the server then refuses is checked once, so
    // another certificate shows its alert rather than "not reachable".
    bool checkWhenRefused = false;

    explicit WorkerJob(std::unique_ptr<ICgiTransport> t) : transport(std::move(t)), session(*transport) {}
};

struct WorkerResult {
    int result = 0;
    std::unique_ptr<ICgiTransport> transport;
    std::unique_ptr<CgiSession> session;
    std::string address;  // numeric address when resolved
};

// Results by generation; the window takes the one of the worker it still waits for.
class WorkerMailbox {
public:
    void Put(uint32_t generation, WorkerResult result);
    // The result of that generation, dropping older ones; false when none.
    bool Take(uint32_t generation, WorkerResult& out);

private:
    std::mutex m_lock;
    std::map<uint32_t, WorkerResult> m_results;
};

// One worker thread. The thread owns its job; the window keeps the handle
// and waits for it, bounded, when it goes.
class LoginWorker {
public:
    LoginWorker() = default;
    ~LoginWorker();
    LoginWorker(const LoginWorker&) = delete;
    LoginWorker& operator=(const LoginWorker&) = delete;

    // Starts the job; its result goes to the mailbox under generation and a
    // note (message, result, generation) to target.
    bool Start(std::unique_ptr<WorkerJob> job, std::shared_ptr<WorkerMailbox> mailbox, HWND target,
               uint32_t generation);
    bool Running() const;
    // Waits up to ms for the thread to end.
    void Join(DWORD ms);

    static constexpr DWORD kJoinMs = 3000;

private:
    WinHandle m_thread;
};

// The steps of a job, on the calling thread (what the worker thread runs).
WorkerResult RunWorkerJob(WorkerJob& job);
