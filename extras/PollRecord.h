#pragma once
// Poll texts on the wire and in files, and the answer record the poll's
// opener keeps: the keywords, the line reader, the submit reader and the
// ".plpr" result file. All text is UTF-8; lines end with "\r\n".
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kPollOpenKeyword = "PL_POLLING_OPEN: ";
inline constexpr std::string_view kPollCheckKeyword = "PL_CHECK_QIZ: ";
inline constexpr std::string_view kPollRadioKeyword = "PL_RADIO_QIZ: ";
inline constexpr std::string_view kPollShortKeyword = "PL_SHORT_QIZ: ";
inline constexpr std::string_view kPollAnswerKeyword = "PL_ANS: ";
inline constexpr std::string_view kPollSubmitKeyword = "PL_POLLING_SUBMIT: ";
inline constexpr std::string_view kPollUserListKeyword = "PL_USER_LIST: ";
inline constexpr std::string_view kPollUserKeyword = "PL_USER: ";
inline constexpr std::string_view kPollLineEnd = "\r\n";

// Longest line a poll or result file may hold; a longer one refuses the file.
constexpr size_t kPollFileMaxLine = 64 * 1024;
// Largest poll or result file read.
constexpr size_t kPollFileMaxBytes = 32 * 1024 * 1024;

// 2 (check), 4 (radio) or 6 (short) for a line that begins with a question
// keyword, else 0.
int ClassifyPollLine(std::string_view line);
// The keyword of a question kind (empty for another kind).
std::string_view PollQuestionKeyword(int kind);
bool StartsWith(std::string_view text, std::string_view prefix);
// Invalid UTF-8 sequences replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Session id to display name.
using PollPeople = std::map<std::string, std::string>;

struct PollOptionRecord {
    std::string text;
    // Voters by session id: the display name, or for a short question's box
    // the entry "<" name "> :" answer.
    PollPeople voters;
};

struct PollQuestionRecord {
    int kind = 0;
    std::string text;
    std::vector<PollOptionRecord> options;
    PollPeople noAnswer;
};

using PollRecord = std::vector<PollQuestionRecord>;

// Splits bytes into lines at "\r\n". A last piece without its line end is a
// line too when keepCut is set (files), and dropped otherwise. False when a
// line is longer than maxLine.
bool SplitPollLines(std::string_view bytes, bool keepCut, size_t maxLine, std::vector<std::string_view>& lines);

// Reads questions from lines. Text rules (received poll text): a line that
// ends a question's options is read again as a question, and a question
// without options stays. File rules: that line is consumed, and a question
// without options is dropped. Reading stops at stopPrefix when given; the
// index of the stopping line (or lines.size()) is returned.
size_t ReadPollQuestions(const std::vector<std::string_view>& lines, size_t first, bool fileRules,
                         std::string_view stopPrefix, PollRecord& questions);
// The poll text of questions (record) as the editor builds it.
std::string BuildPollText(const PollRecord& questions);

struct PollSubmitHeader {
    std::string session;
    std::string name;
};
// The submit's sender: false (ignored) for a text without the keyword, its
// line end or a "|" (or with an empty session id).
bool ReadSubmitHeader(std::string_view text, PollSubmitHeader& header);
// Adds the votes of a submit to record. True when every line had its line end
// (the submit is whole); false when it stopped at a cut line, whose earlier
// lines' votes stay.
bool ApplySubmitVotes(PollRecord& record, std::string_view text, const PollSubmitHeader& header);

// For each question, the asked participants who gave no answer to it.
void ComputeNoAnswer(PollRecord& record, const PollPeople& asked);

// The ".plpr" file: poll text, asked list and the received submits.
std::string BuildResultFile(std::string_view pollText, const PollPeople& asked, const std::vector<std::string>& submits);

struct PollResults {
    PollRecord record;
    PollPeople asked;
    std::vector<std::string> submits;
};
enum PollResultLoad : int {
    kPollResultLoaded = 0,
    kPollResultNoPollText = 1,
    kPollResultNoUserList = 2,
    kPollResultNoSubmit = 3,
    kPollResultUnreadable = 4,
};
// Reads a ".plpr" file's bytes; on any result but kPollResultLoaded the
// record and the asked map are left empty.
int ReadResultFile(std::string_view bytes, PollResults& out);

// The count text of a result row: "%2d/%2d".
std::string PollCountText(size_t voters, size_t asked);
