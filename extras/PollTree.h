#pragma once
// The poll held in memory: a tree of questions and their options, in UTF-8.
// The editor builds it and turns it into the poll text; the answering side
// reads a received poll text into it, ticks and chooses, and builds the
// submit text. The windows that show it sit on top (CPollTree).
#include "extras/PollRecord.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Node kinds: a question's options have the question's kind minus one.
enum PollNodeKind : int {
    kPollRoot = 0,
    kPollCheckOption = 1,
    kPollCheckQuestion = 2,
    kPollRadioOption = 3,
    kPollRadioQuestion = 4,
    kPollShortBox = 5,
    kPollShortQuestion = 6,
    kPollNoAnswerRow = 7,
};

// Answer states of options: a check option 2 or 3 (ticked), a radio option
// 4 or 5 (chosen); short-answer boxes 0.
enum PollOptionState : int {
    kPollUnticked = 2,
    kPollTicked = 3,
    kPollUnchosen = 4,
    kPollChosen = 5,
};

// Most characters an item keeps (the editor's limit).
constexpr size_t kPollItemMaxChars = 255;

struct PollNode {
    std::string text;
    int kind = kPollRoot;
    int state = 0;
    PollNode* parent = nullptr;
    std::vector<std::unique_ptr<PollNode>> children;

    bool IsQuestion() const { return kind == kPollCheckQuestion || kind == kPollRadioQuestion || kind == kPollShortQuestion; }
    bool IsOption() const { return kind == kPollCheckOption || kind == kPollRadioOption || kind == kPollShortBox; }
    size_t IndexInParent() const;
};

class PollTree {
public:
    enum class Mode { Editing = 1, Answering = 2 };

    explicit PollTree(Mode mode);
    PollTree(const PollTree&) = delete;
    PollTree& operator=(const PollTree&) = delete;

    Mode GetMode() const { return m_mode; }
    PollNode& Root() { return *m_root; }
    const PollNode& Root() const { return *m_root; }
    size_t QuestionCount() const { return m_root->children.size(); }

    // Appends a node as the last child of parent (the root when null). Kind 0
    // derives kind and state from the parent; a question is only added to the
    // root and an option only to a question. Null when refused.
    PollNode* AddNode(PollNode* parent, int kind, std::string text);
    // A sibling directly after node, kind and state derived from the parent.
    PollNode* InsertAfter(PollNode* node, std::string text);
    // Unlinks and frees node with its children; false for the root or null.
    bool Delete(PollNode* node);
    bool MoveUp(PollNode* node);
    bool MoveDown(PollNode* node);
    void Clear();

    // Answering: a click on an option toggles a check option, chooses a radio
    // option (clearing the others of its question); nothing else changes.
    void ClickOption(PollNode* node);

    // The poll text; empty (and the record cleared) without a question,
    // outside editing mode or without a manager. Fills record when given.
    std::string BuildOpenText(bool hasManager, PollRecord* record) const;
    // The submit text of the answers given; empty without a question or
    // outside answering mode.
    std::string BuildSubmitText(const std::string& session, const std::string& name) const;

    // Replaces the tree with a received poll text. Ignored (false, tree kept)
    // unless it begins with the opening keyword and its line end.
    bool ParseOpenText(std::string_view text);
    // Replaces the tree with the questions of a poll file's bytes. False
    // (tree kept) for a file that is not a poll file or has a line too long.
    bool LoadPollFile(std::string_view bytes);

    bool modified = false;

private:
    void AdoptQuestions(std::vector<PollQuestionRecord> questions);

    Mode m_mode;
    std::unique_ptr<PollNode> m_root;
};

// An item text as the editor stores it: every "\r\n" removed and at most
// 255 characters kept (never cutting a character); empty when the entered
// text is blank (blanks, tabs, CR and LF only).
std::string CleanItemText(std::string_view entered);

// The label of the option at a 0-based position: "a." to "z.", then two
// letters up to "yz." (675), three letters from "aaa." (676) to 12375, and
// nothing beyond.
std::string PollOptionLabel(size_t position);
