#include "appliance/ui/LoginWorker_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/SessionRequests.h"
#include "appliance/https/ProxyDiscovery_win.h"
#include "appliance/https/ProxySettings_win.h"

namespace {

struct ThreadTask {
    std::unique_ptr<WorkerJob> job;
    std::shared_ptr<WorkerMailbox> mailbox;
    HWND target;
    uint32_t generation;
};

DWORD WINAPI WorkerThread(void* param)
{
    std::unique_ptr<ThreadTask> task(static_cast<ThreadTask*>(param));
    WorkerResult result = RunWorkerJob(*task->job);
    const int code = result.result;
    const UINT note = task->job->road == WorkerRoad::Connect ? WM_CONNECT_RESULT : WM_LOGIN_RESULT;
    task->mailbox->Put(task->generation, std::move(result));
    PostMessageW(task->target, note, static_cast<WPARAM>(code), static_cast<LPARAM>(task->generation));
    return 0;
}

} // namespace

void WorkerMailbox::Put(uint32_t generation, WorkerResult result)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_results[generation] = std::move(result);
}

bool WorkerMailbox::Take(uint32_t generation, WorkerResult& out)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto it = m_results.find(generation);
    const bool found = it != m_results.end();
    if (found)
        out = std::move(it->second);
    m_results.erase(m_results.begin(), m_results.upper_bound(generation));
    return found;
}

WorkerResult RunWorkerJob(WorkerJob& job)
{
    WorkerResult out;
    CgiSession& s = job.session;
    if (job.mode != 3) {
        std::string host = s.applianceHost;
        int family = 0;
        if (!ResolveApplianceHost(host, s.appliancePort, out.address, family)) {
            out.result = CGI_SERVER_UNREACHABLE;
            return out;
        }
        DetectProxy(s.proxy, job.proxyType, job.proxyConfig, s.applianceHost, out.address);
    }
    int result = CGI_OK;
    if (job.checkCertificate)
        result = CgiCheckServerCert(s);
    if (result == CGI_BAD_PASSWORD_OR_CERT || result == CGI_SERVER_CERT_UNREADABLE) {
        out.result = result;  // the window asks the user
    } else {
        out.result = job.road == WorkerRoad::Connect ? CgiQueryDomains(s) : CgiGuestLogin(s);
        if (job.checkWhenRefused && (out.result == CGI_SERVER_UNREACHABLE || out.result == CGI_NO_RESPONSE)) {
            const int check = CgiCheckServerCert(s);
            if (check == CGI_BAD_PASSWORD_OR_CERT || check == CGI_SERVER_CERT_UNREADABLE)
                out.result = check;
        }
    }
    out.session = std::make_unique<CgiSession>(std::move(job.session));
    out.transport = std::move(job.transport);
    return out;
}

LoginWorker::~LoginWorker()
{
    Join(kJoinMs);
}

bool LoginWorker::Start(std::unique_ptr<WorkerJob> job, std::shared_ptr<WorkerMailbox> mailbox, HWND target,
                        uint32_t generation)
{
    auto task = std::make_unique<ThreadTask>(ThreadTask{std::move(job), std::move(mailbox), target, generation});
    HANDLE thread = CreateThread(nullptr, 0, WorkerThread, task.get(), 0, nullptr);
    if (!thread)
        return false;
    task.release();  // the thread owns it now
    m_thread.Reset(thread);
    return true;
}

bool LoginWorker::Running() const
{
    return m_thread && WaitForSingleObject(m_thread.get(), 0) == WAIT_TIMEOUT;
}

void LoginWorker::Join(DWORD ms)
{
    if (m_thread)
        WaitForSingleObject(m_thread.get(), ms);
}
