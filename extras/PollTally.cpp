#include "extras/PollTally.h"

void PollTally::Open(PollRecord record, PollPeople asked)
{
    Reset();
    m_record = std::move(record);
    m_asked = std::move(asked);
    for (const auto& person : m_asked)
        m_awaited.insert(person.first);
    m_state = State::Open;
}

PollTally::Submit PollTally::OnSubmit(std::string_view text)
{
    PollSubmitHeader who;
    if (m_state == State::Editing || !ReadSubmitHeader(text, who))
        return Submit::Ignored;
    if (m_asked.count(who.session) == 0)
        return Submit::NotAsked;
    if (m_submitted.count(who.session) != 0)
        return Submit::Repeated;
    bool open = m_state == State::Open;
    if (open && m_awaited.count(who.session) == 0)
        return Submit::NotAsked;
    if (!ApplySubmitVotes(m_record, text, who))
        return Submit::Partial;
    m_submitted.insert(who.session);
    m_submits.emplace_back(text);
    if (!open) {
        ComputeNoAnswer(m_record, m_asked);
        return Submit::Late;
    }
    m_awaited.erase(who.session);
    return m_awaited.empty() ? Submit::Last : Submit::Counted;
}

bool PollTally::OnDeparted(const std::string& session)
{
    if (m_state != State::Open)
        return false;
    return m_awaited.erase(session) != 0 && m_awaited.empty();
}

void PollTally::Rename(const std::string& session, const std::string& name)
{
    auto it = m_asked.find(session);
    if (it != m_asked.end() && !name.empty())
        it->second = name;
}

void PollTally::Finish()
{
    m_awaited.clear();
    ComputeNoAnswer(m_record, m_asked);
    m_state = State::Closed;
}

void PollTally::Adopt(PollResults results)
{
    Reset();
    m_record = std::move(results.record);
    m_asked = std::move(results.asked);
    m_submits = std::move(results.submits);
    for (const std::string& submit : m_submits) {
        PollSubmitHeader who;
        if (ReadSubmitHeader(submit, who))
            m_submitted.insert(who.session);
    }
    ComputeNoAnswer(m_record, m_asked);
    m_state = State::Closed;
}

void PollTally::Reset()
{
    m_state = State::Editing;
    m_record.clear();
    m_asked.clear();
    m_awaited.clear();
    m_submitted.clear();
    m_submits.clear();
}
