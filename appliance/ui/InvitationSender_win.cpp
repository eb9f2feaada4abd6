#include "appliance/ui/InvitationSender_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "appliance/ui/SetupOutcome.h"
#include "appliance/ui/SetupText_win.h"
#include "core/base/DHLog.h"
#include "core/base/TextConvert.h"

namespace {

constexpr uint8_t kMeetingLog = 0x80;

void LogPrefixed(int level, unsigned id, const std::wstring& prefix)
{
    DHLog::Instance().PrintW(kMeetingLog, level, false, L"%s",
                             FormatSetupText(512, id, prefix.c_str()).c_str());
}

} // namespace

bool SendInvitation(CgiSession& session, const InvitationTexts& texts, const std::string& meetingNameUtf8,
                    const std::wstring& eventPrefix)
{
    const InviteCheck check = CheckInvitation(texts);
    if (check != InviteCheck::Ok) {
        if (const unsigned log = InviteCheckLog(check))
            LogPrefixed(2, log, eventPrefix);
        return false;
    }
    int32_t error = kInviteErrorUnread;
    const int32_t result = CgiInviteGuests(session, SplitAddresses(texts.required), SplitAddresses(texts.optional),
                                           texts.coordinator, texts.message, meetingNameUtf8, error);
    if (result != CGI_OK) {
        DHLog::Instance().PrintW(kMeetingLog, 2, false, L"%s", SetupText(IDS_LOG_INVITE_NOT_SENT));
        return false;
    }
    LogPrefixed(error == 0 ? 3 : 2, InviteErrorLog(error), eventPrefix);
    return error == 0;
}

void InviteReportTarget::Report(bool sent)
{
    std::lock_guard<std::mutex> l(m_lock);
    if (m_window)
        PostMessageW(m_window, m_message, sent ? 1 : 0, 0);
}

void InviteReportTarget::Forget()
{
    std::lock_guard<std::mutex> l(m_lock);
    m_window = nullptr;
}

InvitationWorkers::~InvitationWorkers()
{
    for (auto& t : m_threads)
        t->Join(0);
}

bool InvitationWorkers::Start(const CgiSession& session, std::unique_ptr<ICgiTransport> transport,
                              const InvitationTexts& texts, const std::string& meetingNameUtf8,
                              const std::wstring& eventPrefix, std::shared_ptr<InviteReportTarget> target)
{
    // Ended workers make room for the new one.
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (!(*it)->Running() && (*it)->Join(0))
            it = m_threads.erase(it);
        else
            ++it;
    }
    auto own = std::make_shared<CgiSession>(session);
    std::shared_ptr<ICgiTransport> wire(std::move(transport));
    own->transport = wire.get();
    const std::string prefix = WideToAnsi(eventPrefix, kCodePageUtf8);
    own->log.eventPrefix = [prefix] { return prefix; };
    auto thread = std::make_unique<BoundedThread>();
    const bool started = thread->Start([own, wire, texts, meetingNameUtf8, eventPrefix, target] {
        const bool sent = SendInvitation(*own, texts, meetingNameUtf8, eventPrefix);
        if (target)
            target->Report(sent);
    });
    if (!started)
        return false;
    m_threads.push_back(std::move(thread));
    return true;
}

size_t InvitationWorkers::Running() const
{
    size_t n = 0;
    for (const auto& t : m_threads)
        n += t->Running() ? 1 : 0;
    return n;
}
