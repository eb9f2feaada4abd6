#include "core/control/RequestWorkers_win.h"

#include "core/base/DHLog.h"

// The meeting as the workers see it: the owner's environment, with
// cancellation added.
class RequestWorkers::Guarded : public HandoverEnv {
public:
    explicit Guarded(HandoverEnv& env) : m_env(env) {}
    void Cancel() { m_cancelled = true; }
    bool CancelledHere() const { return m_cancelled.load(); }
    std::string OwnSessionId() override { return m_env.OwnSessionId(); }
    std::string CurrentHost() override { return m_env.CurrentHost(); }
    uint32_t SharingState() override { return m_env.SharingState(); }
    void RefreshParticipants() override { m_env.RefreshParticipants(); }
    bool AllParticipantsReady() override { return m_env.AllParticipantsReady(); }
    void CloseCanvases() override { m_env.CloseCanvases(); }
    bool Send(const ControlPacket& p) override { return !Cancelled() && m_env.Send(p); }
    void Pause(uint32_t ms) override { m_env.Pause(ms); }
    bool Cancelled() override { return m_cancelled.load() || m_env.Cancelled(); }

private:
    HandoverEnv& m_env;
    std::atomic<bool> m_cancelled{false};
};

RequestWorkers::RequestWorkers(HandoverEnv& env, ControlRequests& requests)
    : m_requests(requests), m_guarded(std::make_shared<Guarded>(env))
{
}

RequestWorkers::~RequestWorkers()
{
    CancelAndJoin();
}

void RequestWorkers::Reap()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (!it->thread.Running()) {
            it->thread.Join(0);
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

template <class Body>
void RequestWorkers::Launch(Body body)
{
    std::lock_guard<std::mutex> l(m_lock);
    Reap();
    if (m_guarded->CancelledHere())
        return;
    m_workers.emplace_back();
    Worker& w = m_workers.back();
    bool started = w.thread.Start(
        [threadId = w.threadId, body] {
            *threadId = GetCurrentThreadId();
            body();
        },
        [](const std::string& what) {
            DHLog::Instance().Print(0x08, 1, false, "Meeting request worker ended: %s\n", what.c_str());
        });
    if (!started)
        m_workers.pop_back();
}

void RequestWorkers::StartHandover(const std::string& newHost)
{
    Launch([g = m_guarded, newHost] { RunHostHandover(*g, newHost); });
}

void RequestWorkers::StartSharingRequest(const std::string& session)
{
    Launch([g = m_guarded, session] { RunSharingRequest(*g, session); });
}

void RequestWorkers::StartReadyWait()
{
    Launch([g = m_guarded] { RunReadyWait(*g); });
}

void RequestWorkers::StartHostPrompt(const std::wstring& text, const std::string& coordinator)
{
    ControlRequests& requests = m_requests;
    Launch([g = m_guarded, &requests, text, coordinator] {
        int answer = MessageBoxW(nullptr, text.c_str(), L"", MB_YESNO | MB_ICONQUESTION);
        if (!g->CancelledHere() && answer != 0)
            requests.AnswerHostInvitation(coordinator, answer == IDYES);
    });
}

size_t RequestWorkers::Running()
{
    std::lock_guard<std::mutex> l(m_lock);
    Reap();
    return m_workers.size();
}

bool RequestWorkers::CancelAndJoin()
{
    m_guarded->Cancel();
    std::lock_guard<std::mutex> l(m_lock);
    const ULONGLONG deadline = GetTickCount64() + kJoinMs;
    bool all = true;
    for (Worker& w : m_workers) {
        // An open prompt is answered "No"; its answer is not sent. The box
        // may not exist yet when the worker has only just started, so the
        // answer is repeated until the worker has ended or time is up.
        while (w.thread.Running() && GetTickCount64() < deadline) {
            if (DWORD id = *w.threadId)
                EnumThreadWindows(
                    id,
                    [](HWND h, LPARAM) -> BOOL {
                        PostMessageW(h, WM_COMMAND, IDNO, 0);
                        return TRUE;
                    },
                    0);
            Sleep(20);
        }
        if (!w.thread.Join(0)) {
            all = false;
            DHLog::Instance().Print(0x08, 1, false, "A meeting request worker did not end in %u ms.\n", kJoinMs);
        }
    }
    m_workers.clear();
    return all;
}
