#include "extras/PollRecord.h"

#include "core/base/TextConvert.h"

#include <cstdio>
#include <set>

int ClassifyPollLine(std::string_view line)
{
    if (StartsWith(line, kPollCheckKeyword))
        return 2;
    if (StartsWith(line, kPollRadioKeyword))
        return 4;
    if (StartsWith(line, kPollShortKeyword))
        return 6;
    return 0;
}

std::string_view PollQuestionKeyword(int kind)
{
    switch (kind) {
    case 2: return kPollCheckKeyword;
    case 4: return kPollRadioKeyword;
    case 6: return kPollShortKeyword;
    default: return {};
    }
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string ValidUtf8(std::string_view text)
{
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return std::string(text);
    std::wstring wide = MultiByteToWideString(text.data(), static_cast<int>(text.size()), kCodePageUtf8);
    return WideToMultiByteString(wide.data(), static_cast<int>(wide.size()), kCodePageUtf8);
}

bool SplitPollLines(std::string_view bytes, bool keepCut, size_t maxLine, std::vector<std::string_view>& lines)
{
    lines.clear();
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find(kPollLineEnd, pos);
        size_t stop = end == std::string_view::npos ? bytes.size() : end;
        if (stop - pos > maxLine)
            return false;
        if (end == std::string_view::npos) {
            if (keepCut)
                lines.push_back(bytes.substr(pos));
            break;
        }
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end + kPollLineEnd.size();
    }
    return true;
}

size_t ReadPollQuestions(const std::vector<std::string_view>& lines, size_t first, bool fileRules,
                         std::string_view stopPrefix, PollRecord& questions)
{
    PollQuestionRecord* open = nullptr;
    auto closeQuestion = [&] {
        if (open && fileRules && open->options.empty())
            questions.pop_back();
        open = nullptr;
    };
    size_t i = first;
    for (; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (!stopPrefix.empty() && StartsWith(line, stopPrefix))
            break;
        if (open) {
            if (StartsWith(line, kPollAnswerKeyword)) {
                open->options.push_back({ValidUtf8(line.substr(kPollAnswerKeyword.size())), {}});
                continue;
            }
            closeQuestion();
            if (line.empty() || fileRules)
                continue;
        }
        int kind = ClassifyPollLine(line);
        if (kind == 0)
            continue;
        questions.push_back({kind, ValidUtf8(line.substr(kPollCheckKeyword.size())), {}, {}});
        open = &questions.back();
    }
    closeQuestion();
    return i;
}

std::string BuildPollText(const PollRecord& questions)
{
    std::string text(kPollOpenKeyword);
    text += kPollLineEnd;
    for (const PollQuestionRecord& q : questions) {
        text += PollQuestionKeyword(q.kind);
        text += q.text;
        text += kPollLineEnd;
        for (const PollOptionRecord& o : q.options) {
            text += kPollAnswerKeyword;
            text += o.text;
            text += kPollLineEnd;
        }
        text += kPollLineEnd;
    }
    return text;
}

bool ReadSubmitHeader(std::string_view text, PollSubmitHeader& header)
{
    size_t end = text.find(kPollLineEnd);
    if (end == std::string_view::npos || !StartsWith(text, kPollSubmitKeyword))
        return false;
    std::string_view who = text.substr(kPollSubmitKeyword.size(), end - kPollSubmitKeyword.size());
    size_t bar = who.find('|');
    if (bar == std::string_view::npos || bar == 0)
        return false;
    header.session = ValidUtf8(who.substr(0, bar));
    header.name = ValidUtf8(who.substr(bar + 1));
    return true;
}

namespace {

// Leading decimal digits (none gives 0); false when the number cannot name
// any option (it overflowed the bound).
bool ReadPosition(std::string_view text, size_t bound, size_t& value)
{
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<size_t>(c - '0');
        if (value >= bound)
            return false;
    }
    return true;
}

void Vote(PollQuestionRecord& q, std::string_view position, const PollSubmitHeader& who)
{
    size_t at = 0;
    if (ReadPosition(position, q.options.size(), at) && at < q.options.size())
        q.options[at].voters.emplace(who.session, who.name);
}

} // namespace

bool ApplySubmitVotes(PollRecord& record, std::string_view text, const PollSubmitHeader& who)
{
    size_t pos = text.find(kPollLineEnd);
    if (pos == std::string_view::npos)
        return false;
    pos += kPollLineEnd.size();
    for (size_t index = 0; pos < text.size(); ++index) {
        size_t end = text.find(kPollLineEnd, pos);
        if (end == std::string_view::npos)
            return false;
        std::string_view line = text.substr(pos, end - pos);
        pos = end + kPollLineEnd.size();
        if (index >= record.size())
            continue;
        PollQuestionRecord& q = record[index];
        if (ClassifyPollLine(line) != q.kind)
            continue;
        std::string_view answer = line.substr(kPollCheckKeyword.size());
        if (answer.empty())
            continue;
        if (q.kind == 4) {
            Vote(q, answer, who);
        } else if (q.kind == 2) {
            for (size_t semi; (semi = answer.find(';')) != std::string_view::npos; answer.remove_prefix(semi + 1))
                Vote(q, answer.substr(0, semi), who);
        } else if (!q.options.empty()) {
            q.options[0].voters.emplace(who.session, "<" + who.name + "> :" + ValidUtf8(answer));
        }
    }
    return true;
}

void ComputeNoAnswer(PollRecord& record, const PollPeople& asked)
{
    for (PollQuestionRecord& q : record) {
        q.noAnswer = asked;
        for (const PollOptionRecord& o : q.options)
            for (const auto& voter : o.voters)
                q.noAnswer.erase(voter.first);
    }
}

std::string BuildResultFile(std::string_view pollText, const PollPeople& asked, const std::vector<std::string>& submits)
{
    std::string file(pollText);
    file += kPollUserListKeyword;
    file += kPollLineEnd;
    for (const auto& person : asked) {
        if (person.second.empty())
            continue;
        file += kPollUserKeyword;
        file += person.first;
        file += '|';
        file += person.second;
        file += kPollLineEnd;
    }
    file += kPollLineEnd;
    for (const std::string& submit : submits) {
        if (submit.empty())
            continue;
        file += submit;
        file += kPollLineEnd;
    }
    return file;
}

int ReadResultFile(std::string_view bytes, PollResults& out)
{
    out = PollResults();
    std::vector<std::string_view> lines;
    if (!SplitPollLines(bytes, true, kPollFileMaxLine, lines))
        return kPollResultUnreadable;
    if (lines.empty() || !StartsWith(lines[0], kPollOpenKeyword))
        return kPollResultNoPollText;
    PollResults read;
    size_t i = ReadPollQuestions(lines, 1, false, kPollUserListKeyword, read.record);
    if (i >= lines.size())
        return kPollResultNoUserList;
    for (++i; i < lines.size() && !lines[i].empty(); ++i) {
        if (!StartsWith(lines[i], kPollUserKeyword))
            continue;
        std::string_view who = lines[i].substr(kPollUserKeyword.size());
        size_t bar = who.find('|');
        if (bar == std::string_view::npos || bar == 0)
            continue;
        read.asked.emplace(ValidUtf8(who.substr(0, bar)), ValidUtf8(who.substr(bar + 1)));
    }
    std::set<std::string> voted;
    while (i < lines.size()) {
        if (!StartsWith(lines[i], kPollSubmitKeyword)) {
            ++i;
            continue;
        }
        std::string submit;
        for (; i < lines.size() && !lines[i].empty(); ++i) {
            submit.append(lines[i]);
            submit += kPollLineEnd;
        }
        PollSubmitHeader who;
        // The first submit of each participant is the one that counted.
        if (!ReadSubmitHeader(submit, who) || !voted.insert(who.session).second)
            continue;
        ApplySubmitVotes(read.record, submit, who);
        read.submits.push_back(std::move(submit));
    }
    if (read.submits.empty())
        return kPollResultNoSubmit;
    out = std::move(read);
    return kPollResultLoaded;
}

std::string PollCountText(size_t voters, size_t asked)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%2zu/%2zu", voters, asked);
    return buffer;
}
