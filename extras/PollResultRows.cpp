#include "extras/PollResultRows.h"

#include "extras/PollTree.h"

namespace {

std::string Detail(const std::string& row, const PollPeople& people, bool entries)
{
    std::string detail = "<" + row + ">\r\n";
    for (const auto& person : people) {
        if (!entries)
            detail += "    ";
        detail += person.second;
        detail += "\r\n";
    }
    return detail;
}

} // namespace

std::vector<PollResultRow> BuildResultRows(const PollRecord& record, size_t asked, bool final,
                                           const PollResultTexts& texts)
{
    std::vector<PollResultRow> rows;
    for (const PollQuestionRecord& q : record) {
        rows.push_back({q.kind, q.text, {}, {}});
        if (q.kind == kPollShortQuestion) {
            const PollPeople none;
            const PollPeople& answers = q.options.empty() ? none : q.options[0].voters;
            rows.push_back({kPollShortBox, texts.answers, PollCountText(answers.size(), asked),
                            Detail(texts.answers, answers, true)});
        } else {
            for (size_t i = 0; i < q.options.size(); ++i) {
                std::string label = PollOptionLabel(i);
                std::string text = label.empty() ? q.options[i].text : label + " " + q.options[i].text;
                const PollPeople& voters = q.options[i].voters;
                rows.push_back({q.kind - 1, text, PollCountText(voters.size(), asked), Detail(text, voters, false)});
            }
        }
        if (final)
            rows.push_back({kPollNoAnswerRow, texts.noAnswer, PollCountText(q.noAnswer.size(), asked),
                            Detail(texts.noAnswer, q.noAnswer, false)});
    }
    return rows;
}
