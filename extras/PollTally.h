#pragma once
// The count of an open poll on the client that opened it: who was asked,
// who is still awaited, the votes and the submits received. Only the first
// submit of each asked participant counts; a participant who leaves counts
// once as answered and stays among those who gave no answer.
#include "extras/PollRecord.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

class PollTally {
public:
    enum class State { Editing = 1, Open = 2, Closed = 3 };
    enum class Submit {
        Ignored,    // not a submit text
        NotAsked,   // from a session that was not asked (or has left)
        Repeated,   // a second submit of the same session: adds nothing
        Partial,    // cut short: the votes of its whole lines stay, not counted
        Counted,    // one awaited answer fewer
        Last,       // counted, and it was the last awaited answer
        Late,       // after the poll closed: votes added and stored, not counted
    };

    // Starts counting: every asked participant is awaited.
    void Open(PollRecord record, PollPeople asked);
    Submit OnSubmit(std::string_view text);
    // A participant no longer in the meeting; true when that leaves no
    // answer awaited (the poll is then to be finished).
    bool OnDeparted(const std::string& session);
    void Rename(const std::string& session, const std::string& name);
    // Closes the poll and works out who gave no answer.
    void Finish();
    // Takes the results read from a file (closed, nothing awaited).
    void Adopt(PollResults results);
    void Reset();

    State GetState() const { return m_state; }
    size_t Asked() const { return m_asked.size(); }
    size_t Awaited() const { return m_awaited.size(); }
    size_t Answered() const { return m_asked.size() - m_awaited.size(); }
    const PollRecord& Record() const { return m_record; }
    const PollPeople& AskedPeople() const { return m_asked; }
    const std::vector<std::string>& Submits() const { return m_submits; }

private:
    State m_state = State::Editing;
    PollRecord m_record;
    PollPeople m_asked;
    std::set<std::string> m_awaited;
    std::set<std::string> m_submitted;
    std::vector<std::string> m_submits;
};
