#include "meeting/LobbyCommands.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

bool ToolbarButtonEnabled(int value)
{
    return value > 0 && (value & 1) != 0;
}

bool MayStartOrEnd(const LobbyView& v)
{
    return v.callerRole == 1 || (v.callerRole == 2 && (v.assistPermission & kAssistStartEnd) != 0);
}

StartEnd StartEndFor(const LobbyView& v)
{
    if (!MayStartOrEnd(v))
        return StartEnd::None;
    return v.meetingState == 1 ? StartEnd::Start : StartEnd::End;
}

ShareAction ShareFor(const LobbyView& v)
{
    if (v.role != 1)
        return ShareAction::None;
    if (v.meetingSharingState == 0)
        return ShareAction::Start;
    if (v.meetingSharingState == 2)
        return ShareAction::Stop;
    return ShareAction::None;
}

ControlButton ControlButtonFor(const LobbyView& v)
{
    if (v.role == 1 || v.meetingSharingState != 2 || v.viewOnly || v.hostSession.empty())
        return ControlButton::None;
    return v.controlHeld ? ControlButton::Release : ControlButton::Request;
}

bool MayRequestHost(const LobbyView& v)
{
    return v.role == 0 && !v.coordinatorSession.empty() && v.coordinatorSession != v.ownSession;
}

bool QuitNeedsConfirmation(const LobbyView& v)
{
    return v.callerRole == 1 && v.role == 1 && v.meetingState == 2 && !v.assistPresent;
}

uintptr_t LeaveCode(const LobbyView& v)
{
    return v.role == 1 ? kLeaveAsHost : kLeaveAsParticipant;
}

SetHost SetHostFor(const LobbyView& v, const LobbyTarget& t, bool hasAskedHost)
{
    if (t.role == 1)
        return SetHost::None;
    if (hasAskedHost || t.session == v.ownSession)
        return SetHost::AcceptRequest;
    if (v.meetingSharingState == 0)
        return SetHost::SetDirectly;
    if (v.meetingSharingState == 2 && !v.hostSession.empty())
        return SetHost::AskHost;
    return SetHost::None;
}

Kick KickFor(const LobbyView& v, const LobbyTarget& t)
{
    return t.session == v.ownSession ? Kick::RefuseSelf : Kick::Send;
}

CloseAction CloseFor(const LobbyView& v)
{
    if (v.meetingSharingState == 2)
        return CloseAction::Undock;
    if (v.callerRole == 1 && v.meetingSharingState == 0)
        return CloseAction::AskEndOrQuit;
    return CloseAction::Quit;
}

RescheduleOutcome RescheduleOutcomeFor(uintptr_t wParam, intptr_t lParam, int expirySeconds)
{
    if (wParam != 0)
        return RescheduleOutcome::Rescheduled;
    if (expirySeconds < 0)
        return RescheduleOutcome::EndExpired;
    return lParam == 1 ? RescheduleOutcome::Quiet : RescheduleOutcome::Failed;
}

uint32_t ApplyAssistPreset(AssistPreset preset, uint32_t bits)
{
    switch (preset) {
    case AssistPreset::All: return kAssistAll;
    case AssistPreset::Inverse: {
        // Start/end is one box: either of its bits counts as checked.
        uint32_t checked = bits & kAssistAll;
        if (checked & kAssistStartEnd)
            checked |= kAssistStartEnd;
        return ~checked & kAssistAll;
    }
    case AssistPreset::None: return 0;
    }
    return 0;
}

int EndMeetingDialogFor(std::wstring_view languageTag)
{
    return languageTag == L"jpn" ? 298 : 227;
}

std::string CutUtf8(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    size_t end = maxBytes;
    // Back over continuation bytes to the start of the character that does
    // not fit whole.
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

namespace {

ControlPacket Build(ControlMessage m)
{
    return BuildControlMessage(m);
}

} // namespace

ControlPacket SetHostPacket(const LobbyTarget& t)
{
    ControlMessage m;
    m.type = PLP_SET_HOST;
    m.name = t.session;
    m.value1 = static_cast<uint32_t>(t.role);
    m.value2 = 1;
    return Build(m);
}

ControlPacket AssistPacket(const LobbyTarget& t, uint32_t newCallerRole, uint32_t bits)
{
    ControlMessage m;
    m.type = PLP_SET_ASSIST_PERMISSION;
    m.name = t.session;
    m.value1 = static_cast<uint32_t>(t.callerRole);
    m.value2 = newCallerRole;
    m.value3 = bits;
    return Build(m);
}

ControlPacket KickPacket(const std::string& session)
{
    ControlMessage m;
    m.type = PLP_KICK;
    m.name = session;
    return Build(m);
}

ControlPacket ViewOnlyPacket(const std::string& session, bool viewOnly)
{
    ControlMessage m;
    m.type = PLP_SET_VIEW_ONLY;
    m.name = session;
    m.value1 = viewOnly ? 0 : 1;
    return Build(m);
}

ControlPacket SharingRequestPacket(const std::string& own, uint32_t from, uint32_t to)
{
    ControlMessage m;
    m.type = PLP_SHARING_REQUEST;
    m.name = own;
    m.value1 = from;
    m.value2 = to;
    return Build(m);
}

ControlPacket MeetingPacket(bool start)
{
    ControlMessage m;
    m.type = start ? PLP_START_MEETING : PLP_END_MEETING;
    return Build(m);
}

ControlPacket RenamePacket(const std::string& session, std::string_view nameUtf8)
{
    ControlMessage m;
    m.type = PLP_RENAME;
    m.name = session;
    m.other = CutUtf8(nameUtf8, kNameFieldSize);
    m.value2 = static_cast<uint32_t>(m.other.size());
    return Build(m);
}

RenameOutcome RunRename(std::atomic<int>& reply, const std::function<bool()>& send,
                        const std::function<void(unsigned)>& pause)
{
    reply.store(0);
    if (!send())
        return RenameOutcome::NotSent;
    for (int i = 0; i < kRenamePolls; ++i) {
        int r = reply.load();
        if (r == 1)
            return RenameOutcome::Accepted;
        if (r == 2)
            return RenameOutcome::Taken;
        pause(kRenamePollMs);
    }
    int r = reply.load();
    return r == 1 ? RenameOutcome::Accepted : r == 2 ? RenameOutcome::Taken : RenameOutcome::NoReply;
}


struct RejectAllSender::Shared {
    std::mutex lock;
    std::condition_variable wake;
    bool stop = false;

    // False once the owner stops: the rest of the queue is dropped.
    bool Pause(unsigned ms)
    {
        std::unique_lock<std::mutex> l(lock);
        return !wake.wait_for(l, std::chrono::milliseconds(ms), [this] { return stop; });
    }
};

RejectAllSender::RejectAllSender(Refuse refuse) : m_refuse(std::move(refuse)), m_shared(std::make_shared<Shared>()) {}

RejectAllSender::~RejectAllSender()
{
    {
        std::lock_guard<std::mutex> l(m_shared->lock);
        m_shared->stop = true;
    }
    m_shared->wake.notify_all();
    JoinAll(BoundedThread::kDestructorJoinMs);
}

bool RejectAllSender::Start(std::vector<std::string> queue, uint8_t type)
{
    std::lock_guard<std::mutex> l(m_lock);
    // Finished senders leave the list.
    for (auto it = m_threads.begin(); it != m_threads.end();)
        it = it->Running() ? std::next(it) : (it->Join(0), m_threads.erase(it));
    m_threads.emplace_back();
    std::shared_ptr<Shared> shared = m_shared;
    Refuse refuse = m_refuse;
    return m_threads.back().Start([queue = std::move(queue), type, shared, refuse] {
        for (const std::string& session : queue) {
            if (!shared->Pause(kRejectAllPauseMs))
                return;
            refuse(type, session);
        }
    });
}

bool RejectAllSender::JoinAll(unsigned limitMs)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    bool all = true;
    for (BoundedThread& t : m_threads) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        all = t.Join(static_cast<unsigned>(std::max<long long>(0, left.count()))) && all;
    }
    m_threads.clear();
    return all;
}
