#pragma once
// Test doubles of the manager's services: they record what the manager asked
// for, and the transport can run a thread that keeps calling into the
// meeting's objects the way the receive threads do, so a teardown that
// deletes before it joins is caught.
#include "core/app/Manager.h"
#include "extras/CPolling.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/CMeetingLobby.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct CallLog {
    std::mutex lock;
    std::vector<std::string> calls;
    void Add(const std::string& c)
    {
        std::lock_guard<std::mutex> g(lock);
        calls.push_back(c);
    }
    bool Has(const std::string& c)
    {
        std::lock_guard<std::mutex> g(lock);
        for (const auto& x : calls)
            if (x == c)
                return true;
        return false;
    }
    int IndexOf(const std::string& c)
    {
        std::lock_guard<std::mutex> g(lock);
        for (size_t i = 0; i < calls.size(); ++i)
            if (calls[i] == c)
                return static_cast<int>(i);
        return -1;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(lock);
        calls.clear();
    }
};

class FakeTransport : public MeetingTransport {
public:
    explicit FakeTransport(CallLog& log) : m_log(log) {}
    ~FakeTransport() override { StopWorker(); }

    bool StartLocalListener() override
    {
        m_log.Add("StartLocalListener");
        return listenerOk;
    }
    bool CreateLocalSockets(int mode) override
    {
        m_log.Add("CreateLocalSockets " + std::to_string(mode));
        return socketsOk;
    }
    bool OpenTunnel(int kind) override
    {
        m_log.Add("OpenTunnel " + std::to_string(kind));
        bool ok = tunnelOk && (kind == 0 || sharingTunnelOk);
        if (ok)
            tunnels[kind] = true;
        return ok;
    }
    bool HasTunnel(int kind) const override { return tunnels[kind]; }
    bool SendHello(const std::string&, int, const std::wstring&, const std::string&) override
    {
        m_log.Add("SendHello");
        return helloOk;
    }
    bool StartMeetingThreads() override
    {
        m_log.Add("StartMeetingThreads");
        if (manager && runWorker) {
            m_stop = false;
            m_worker = std::thread([this] { Worker(); });
        }
        return true;
    }
    void ShutdownSharing() override
    {
        m_log.Add("ShutdownSharing");
        // The sharing endpoints still hold the channel here.
        if (manager && (manager->vncServerObj || manager->viewerFrame))
            ++endpointsWokenBeforeClose;
    }
    void StopTraffic() override
    {
        m_log.Add("StopTraffic");
        if (manager && (manager->vncServerObj || manager->viewerFrame))
            ++endpointsAliveAtStop;
    }
    void DropSharing() override
    {
        m_log.Add("DropSharing");
        NoteEndpointsAtClose();
        tunnels[1] = false;
    }
    void CloseAndJoin() override
    {
        m_log.Add("CloseAndJoin");
        NoteEndpointsAtClose();
        // The objects the threads use must all still be there.
        if (manager && (manager->lobby || manager->chat || manager->polling1)) {
            objectsAliveAtJoin = manager->lobby && manager->chat && manager->polling1 && manager->polling2;
            ++joinsInMeeting;
        }
        StopWorker();
        tunnels[0] = tunnels[1] = false;
    }
    SOCKET SharingClientEnd() const override { return INVALID_SOCKET; }
    SOCKET FeatureClientEnd(MeetingContext::FeatureChannel) const override { return INVALID_SOCKET; }
    bool WriteSharingAcceptedEnd(const void* data, size_t length) override
    {
        std::lock_guard<std::mutex> g(m_writeLock);
        const auto* b = static_cast<const unsigned char*>(data);
        writes.emplace_back(b, b + length);
        return writeOk;
    }
    void SendSharingState(int prev, int step) override
    {
        m_log.Add("SendSharingState " + std::to_string(prev) + " " + std::to_string(step));
    }

    bool SendPackets(const std::vector<ControlPacket>& packets) override
    {
        for (const ControlPacket& p : packets)
            m_log.Add("SendPacket " + std::to_string(p.empty() ? 0 : p[0]));
        return sendOk;
    }

    std::vector<std::vector<unsigned char>> Writes()
    {
        std::lock_guard<std::mutex> g(m_writeLock);
        return writes;
    }

    CManager* manager = nullptr;
    bool runWorker = false;
    bool listenerOk = true, socketsOk = true, tunnelOk = true, helloOk = true, sendOk = true;
    bool sharingTunnelOk = true;
    // What a write into the sharing channel reports (false: its queue is full).
    bool writeOk = true;
    bool tunnels[2] = {false, false};
    bool objectsAliveAtJoin = true;
    int joinsInMeeting = 0;
    // The host's server or the viewer still there when their channel closed.
    bool endpointsAliveAtClose = false;
    int endpointsWokenBeforeClose = 0;
    int endpointsAliveAtStop = 0;
    std::atomic<long> workerCalls{0};
    std::vector<std::vector<unsigned char>> writes;

private:
    void NoteEndpointsAtClose()
    {
        if (manager && (manager->vncServerObj || manager->viewerFrame))
            endpointsAliveAtClose = true;
    }
    // What the control and canvas receive threads do: call into the polls,
    // the canvases and the lobby through the manager's fields.
    void Worker()
    {
        while (!m_stop) {
            if (CPolling* p = manager->polling1)
                p->OnRecvSubmit("PL_POLLING_SUBMIT: s|n\r\n");
            if (CMeetingLobby* l = manager->lobby)
                l->m_lobbyState = 2;
            if (CCanvas* c = manager->canvas1)
                c->ApplyMessage("MEMA:1");
            ++workerCalls;
            std::this_thread::yield();
        }
    }
    void StopWorker()
    {
        m_stop = true;
        if (m_worker.joinable())
            m_worker.join();
    }

    CallLog& m_log;
    std::atomic<bool> m_stop{false};
    std::thread m_worker;
    std::mutex m_writeLock;
};

class FakeAppliance : public ApplianceServices {
public:
    explicit FakeAppliance(CallLog& log) : m_log(log) {}

    bool CreateSession() override { return sessionOk; }
    int SessionTest() override
    {
        m_log.Add("SessionTest");
        return Next(sessionTestResults, 0);
    }
    int MeetingTest() override
    {
        m_log.Add("MeetingTest");
        return Next(meetingTestResults, 0);
    }
    int RunJoinWorker() override
    {
        m_log.Add("RunJoinWorker");
        return joinResult;
    }
    void ReadLaunchedMeeting() override {}
    bool ReadParticipants() override
    {
        m_log.Add("ReadParticipants");
        if (manager && !participants.empty()) {
            std::lock_guard<std::mutex> l(manager->participantLock);
            manager->participants = participants;
        }
        return participantsOk;
    }
    void ReadProxySettings(bool fromBrowser) override
    {
        m_log.Add(fromBrowser ? "ReadProxySettings browser" : "ReadProxySettings stored");
    }
    void ResolveApplianceHost() override { m_log.Add("ResolveApplianceHost"); }
    bool AskProxyCredentials() override
    {
        m_log.Add("AskProxyCredentials");
        return Next(proxyDialogAnswers, false);
    }
    bool CreateLogin() override
    {
        m_log.Add("CreateLogin");
        login = loginOk;
        return loginOk;
    }
    void DestroyLogin() override
    {
        if (login)
            m_log.Add("DestroyLogin");
        login = false;
    }
    HWND LoginWindow() const override { return loginWindow; }
    void SetLoginServer(const std::string& s) override { m_log.Add("SetLoginServer " + s); }
    bool CreateMeetingList(int arg) override
    {
        m_log.Add("CreateMeetingList " + std::to_string(arg));
        meetingList = true;
        return true;
    }
    void DestroyMeetingList() override
    {
        if (meetingList)
            m_log.Add("DestroyMeetingList");
        meetingList = false;
    }
    bool HasMeetingList() const override { return meetingList; }
    bool CreateMeetingSetup(bool reschedule) override
    {
        m_log.Add(reschedule ? "CreateMeetingSetup reschedule" : "CreateMeetingSetup new");
        setup = true;
        return true;
    }
    void DestroyMeetingSetup() override
    {
        if (setup)
            m_log.Add("DestroyMeetingSetup");
        setup = false;
    }
    bool HasMeetingSetup() const override { return setup; }
    bool CreateInvite() override
    {
        m_log.Add("CreateInvite");
        invite = true;
        return true;
    }
    void DestroyInvite() override
    {
        if (invite)
            m_log.Add("DestroyInvite");
        invite = false;
    }
    void ShowInvite() override { m_log.Add("ShowInvite"); }
    void StoreDefaultProfile(const std::string& server, const std::wstring&) override
    {
        m_log.Add("StoreDefaultProfile " + server);
    }
    void StartPasswordExpiryPrompt(int origin) override
    {
        m_log.Add("StartPasswordExpiryPrompt " + std::to_string(origin));
    }
    void ReturnLoginToServerPage() override { m_log.Add("ReturnLoginToServerPage"); }
    int UpgradeClient(bool required) override
    {
        m_log.Add(required ? "UpgradeClient required" : "UpgradeClient optional");
        return upgradeResult;
    }
    bool IsMeetingDetailsVisible() const override { return detailsVisible; }
    void ToggleMeetingDetails() override
    {
        m_log.Add("ToggleMeetingDetails");
        detailsVisible = !detailsVisible;
    }
    void OpenOptions() override { m_log.Add("OpenOptions"); }

    bool login = false, meetingList = false, setup = false, invite = false, detailsVisible = false;
    HWND loginWindow = nullptr;
    // The list ReadParticipants hands the manager (when set).
    CManager* manager = nullptr;
    std::vector<Participant> participants;
    bool participantsOk = true;
    int upgradeResult = 1;
    // Results a test chooses, taken one per call; once a list is used up the
    // call gives its default (0 for the tests, Cancel for the proxy dialog).
    bool sessionOk = true, loginOk = true;
    std::deque<int> sessionTestResults, meetingTestResults;
    std::deque<bool> proxyDialogAnswers;  // true: OK with credentials, false: Cancel
    int joinResult = 0;

private:
    template <typename T>
    static T Next(std::deque<T>& results, T fallback)
    {
        if (results.empty())
            return fallback;
        T r = results.front();
        results.pop_front();
        return r;
    }

    CallLog& m_log;
};

// A manager of this thread over the fakes; *appliance (when asked) is its
// fake appliance.
inline std::unique_ptr<CManager> MakeFakeManager(CallLog& log, FakeAppliance** appliance = nullptr)
{
    ManagerServices s;
    s.transport = std::make_unique<FakeTransport>(log);
    auto a = std::make_unique<FakeAppliance>(log);
    if (appliance)
        *appliance = a.get();
    s.appliance = std::move(a);
    auto manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), std::move(s));
    manager->mainThreadId = GetCurrentThreadId();
    return manager;
}
