#pragma once
// The rows of the result view: one per question, one per option with its
// count, an answers row under a short question and, in the final results,
// a no-answer row under each question. A row with voters carries the detail
// list of who they are.
#include "extras/PollRecord.h"

#include <string>
#include <vector>

struct PollResultRow {
    int kind = 0;            // the question kind, its option kind, or 7 (no answer)
    std::string text;        // label and text
    std::string count;       // "%2d/%2d"; empty on a question row
    std::string detail;      // "<row>" then one line per voter; empty on a question row
};

struct PollResultTexts {
    std::string answers;     // the row under a short question
    std::string noAnswer;    // the row of those who gave none
};

std::vector<PollResultRow> BuildResultRows(const PollRecord& record, size_t asked, bool final,
                                           const PollResultTexts& texts);
