// The manager's side of polls: the panels' context, a received poll text,
// and the asked participants kept in step with the participant list.
#include "core/app/ManagerPolls_win.h"

#include "core/app/Manager.h"
#include "core/base/DHLog.h"
#include "core/base/StringUtil.h"
#include "core/base/TextConvert.h"
#include "extras/CPolling.h"

namespace {

class ManagerPollContext : public PollContext {
public:
    explicit ManagerPollContext(CManager& manager) : m_manager(manager) {}

    bool SendPollPacket(uint8_t type, std::string_view text) override
    {
        return m_manager.SendTextMessage(type, text);
    }
    std::string OwnSessionId() override { return m_manager.ownSessionId; }
    std::string OwnDisplayName() override { return WideToAnsi(m_manager.ownDisplayName, kCodePageUtf8); }

    PollPeople OtherParticipants() override
    {
        PollPeople people;
        std::lock_guard<std::mutex> l(m_manager.participantLock);
        for (const Participant& p : m_manager.participants)
            if (p.sessionID != m_manager.ownSessionId)
                people.emplace(p.sessionID, WideToAnsi(p.name, kCodePageUtf8));
        return people;
    }

    void SetPollFlags(bool active, bool owner) override
    {
        m_manager.pollOwner = owner ? 1 : 0;
        m_manager.pollActive = active ? 1 : 0;
    }

    void LogPollEvent(int level, const wchar_t* format) override
    {
        std::wstring line = ReplaceFirstPlaceholder(format, m_manager.MakeEventPrefix(0));
        DHLog::Instance().PrintW(0x80, level, false, L"%s", line.c_str());
    }

private:
    CManager& m_manager;
};

} // namespace

std::unique_ptr<PollContext> MakePollContext(CManager& manager)
{
    return std::make_unique<ManagerPollContext>(manager);
}

void CManager::OnPollOpened(const std::string& text)
{
    pollActive = 1;
    if (polling2)
        polling2->ShowReceivedPoll(text.c_str());
    if (polling1 && polling1->Window())
        ShowWindowAsync(polling1->Window(), SW_HIDE);
}

void CManager::SyncPollParticipants()
{
    if (!polling1)
        return;
    PollPeople present;
    {
        std::lock_guard<std::mutex> l(participantLock);
        for (const Participant& p : participants)
            present.emplace(p.sessionID, WideToAnsi(p.name, kCodePageUtf8));
    }
    polling1->SyncParticipants(present);
}
