// Counting an open poll: the first submit of each asked participant counts
// once, departures count once, only the last awaited answer closes the poll,
// and the no-answer lists of the final results.
#include "extras/PollResultRows.h"
#include "extras/PollTally.h"
#include "extras/PollTree.h"

#include <gtest/gtest.h>

namespace {

PollRecord RadioRecord()
{
    return {{4, "R", {{"a", {}}, {"b", {}}}, {}}};
}

std::string Submit(const std::string& session, const std::string& name, const std::string& answer)
{
    return "PL_POLLING_SUBMIT: " + session + "|" + name + "\r\nPL_RADIO_QIZ: " + answer + "\r\n";
}

using S = PollTally::Submit;

} // namespace

TEST(PollTally, ThreeAskedTwoAnswerAndTheOwnerEnds)
{
    PollTally tally;
    tally.Open(RadioRecord(), {{"s1", "Ann"}, {"s2", "Bob"}, {"s3", "Cy"}});
    EXPECT_EQ(tally.OnSubmit(Submit("s1", "Ann", "0")), S::Counted);
    EXPECT_EQ(tally.OnSubmit(Submit("s2", "Bob", "1")), S::Counted);
    EXPECT_EQ(tally.Answered(), 2u);
    EXPECT_EQ(tally.Asked(), 3u);
    tally.Finish();
    EXPECT_EQ(tally.GetState(), PollTally::State::Closed);
    ASSERT_EQ(tally.Record()[0].noAnswer.size(), 1u);
    EXPECT_EQ(tally.Record()[0].noAnswer.at("s3"), "Cy");
    EXPECT_EQ(tally.Submits().size(), 2u);
}

// Anyone could claim another's id or submit twice: only the first submit of
// an asked session counts, so a changed radio choice never makes a voter of
// two options.
TEST(PollTally, RepeatedAndUnaskedSubmitsAddNothing)
{
    PollTally tally;
    tally.Open(RadioRecord(), {{"s1", "Ann"}, {"s2", "Bob"}});
    EXPECT_EQ(tally.OnSubmit(Submit("s1", "Ann", "0")), S::Counted);
    EXPECT_EQ(tally.OnSubmit(Submit("s1", "Ann", "1")), S::Repeated);
    EXPECT_EQ(tally.OnSubmit(Submit("zz", "Mallory", "1")), S::NotAsked);
    EXPECT_EQ(tally.OnSubmit("garbage"), S::Ignored);
    EXPECT_EQ(tally.OnSubmit(Submit("s2", "Bob", "1").substr(0, 40)), S::Partial);
    EXPECT_EQ(tally.Record()[0].options[1].voters.size(), 0u);
    EXPECT_EQ(tally.Submits().size(), 1u);
    EXPECT_EQ(tally.Awaited(), 1u);
    // The partial submit did not count: the whole one still does, and closes.
    EXPECT_EQ(tally.OnSubmit(Submit("s2", "Bob", "1")), S::Last);
}

// The poll closes only when the count goes from one to nought on the client
// that opened it; a panel that never opened one counts nothing.
TEST(PollTally, OnlyTheLastAwaitedAnswerClosesThePoll)
{
    PollTally idle;
    EXPECT_EQ(idle.OnSubmit(Submit("s1", "Ann", "0")), S::Ignored);
    EXPECT_FALSE(idle.OnDeparted("s1"));

    PollTally tally;
    tally.Open(RadioRecord(), {{"s1", "Ann"}});
    EXPECT_EQ(tally.OnSubmit(Submit("s1", "Ann", "0")), S::Last);
    tally.Finish();
    // Late: votes and stored, no count, no second close.
    tally.Open(RadioRecord(), {{"s1", "Ann"}, {"s2", "Bob"}});
    tally.Finish();
    EXPECT_EQ(tally.OnSubmit(Submit("s2", "Bob", "1")), S::Late);
    EXPECT_EQ(tally.Record()[0].options[1].voters.count("s2"), 1u);
    EXPECT_EQ(tally.Record()[0].noAnswer.count("s2"), 0u);
    EXPECT_EQ(tally.Record()[0].noAnswer.count("s1"), 1u);
    EXPECT_EQ(tally.OnSubmit(Submit("s2", "Bob", "0")), S::Repeated);
}

// A participant who leaves counts once as answered and stays under "No
// Answer."; a departure seen again at the next refresh counts nothing.
TEST(PollTally, DeparturesCountOnce)
{
    PollTally tally;
    tally.Open(RadioRecord(), {{"s1", "Ann"}, {"s2", "Bob"}, {"s3", "Cy"}});
    EXPECT_FALSE(tally.OnDeparted("s3"));
    EXPECT_FALSE(tally.OnDeparted("s3"));
    EXPECT_FALSE(tally.OnDeparted("nobody"));
    EXPECT_EQ(tally.Awaited(), 2u);
    EXPECT_EQ(tally.OnSubmit(Submit("s3", "Cy", "0")), S::NotAsked);
    EXPECT_EQ(tally.OnSubmit(Submit("s1", "Ann", "0")), S::Counted);
    tally.Rename("s2", "Robert");
    EXPECT_TRUE(tally.OnDeparted("s2"));
    tally.Finish();
    const PollPeople& none = tally.Record()[0].noAnswer;
    EXPECT_EQ(none.size(), 2u);
    EXPECT_EQ(none.at("s2"), "Robert");
    EXPECT_EQ(none.at("s3"), "Cy");
}

TEST(PollResultRows, OptionCountsAnswersAndNoAnswerRows)
{
    PollTally tally;
    PollRecord record = RadioRecord();
    record.push_back({6, "Why?", {{"", {}}}, {}});
    tally.Open(record, {{"s1", "Ann"}, {"s2", "Bob"}, {"s3", "Cy"}});
    tally.OnSubmit("PL_POLLING_SUBMIT: s1|Ann\r\nPL_RADIO_QIZ: 1\r\nPL_SHORT_QIZ: because\r\n");
    tally.OnSubmit("PL_POLLING_SUBMIT: s2|Bob\r\nPL_RADIO_QIZ: 1\r\nPL_SHORT_QIZ: \r\n");
    PollResultTexts texts{"Answers.", "No Answer."};

    auto open = BuildResultRows(tally.Record(), tally.Asked(), false, texts);
    ASSERT_EQ(open.size(), 5u);
    EXPECT_EQ(open[0].text, "R");
    EXPECT_EQ(open[0].count, "");
    EXPECT_EQ(open[2].text, "b. b");
    EXPECT_EQ(open[2].count, " 2/ 3");
    EXPECT_EQ(open[2].detail, "<b. b>\r\n    Ann\r\n    Bob\r\n");
    EXPECT_EQ(open[4].text, "Answers.");
    EXPECT_EQ(open[4].count, " 1/ 3");
    EXPECT_EQ(open[4].detail, "<Answers.>\r\n<Ann> :because\r\n");

    tally.Finish();
    auto final = BuildResultRows(tally.Record(), tally.Asked(), true, texts);
    ASSERT_EQ(final.size(), 7u);
    EXPECT_EQ(final[3].kind, kPollNoAnswerRow);
    EXPECT_EQ(final[3].count, " 1/ 3");
    EXPECT_EQ(final[3].detail, "<No Answer.>\r\n    Cy\r\n");
    EXPECT_EQ(final[6].detail, "<No Answer.>\r\n    Bob\r\n    Cy\r\n");
}
