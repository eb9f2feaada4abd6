#include "extras/PollTree.h"

#include <algorithm>

size_t PollNode::IndexInParent() const
{
    if (!parent)
        return 0;
    const auto& siblings = parent->children;
    for (size_t i = 0; i < siblings.size(); ++i)
        if (siblings[i].get() == this)
            return i;
    return 0;
}

PollTree::PollTree(Mode mode) : m_mode(mode), m_root(std::make_unique<PollNode>()) {}

namespace {

// The state a new child of a question starts in.
int StateUnder(int questionKind)
{
    return questionKind == kPollShortQuestion ? 0 : questionKind;
}

} // namespace

PollNode* PollTree::AddNode(PollNode* parent, int kind, std::string text)
{
    if (!parent)
        parent = m_root.get();
    auto node = std::make_unique<PollNode>();
    if (parent == m_root.get()) {
        if (kind != kPollCheckQuestion && kind != kPollRadioQuestion && kind != kPollShortQuestion)
            return nullptr;
        node->kind = kind;
    } else if (parent->IsQuestion()) {
        node->kind = parent->kind - 1;
        node->state = StateUnder(parent->kind);
    } else {
        return nullptr;
    }
    node->text = std::move(text);
    node->parent = parent;
    parent->children.push_back(std::move(node));
    return parent->children.back().get();
}

PollNode* PollTree::InsertAfter(PollNode* node, std::string text)
{
    if (!node || !node->parent)
        return nullptr;
    PollNode* parent = node->parent;
    size_t at = node->IndexInParent() + 1;
    PollNode* added = AddNode(parent, node->kind, std::move(text));
    if (!added)
        return nullptr;
    std::rotate(parent->children.begin() + static_cast<long>(at), parent->children.end() - 1, parent->children.end());
    return added;
}

bool PollTree::Delete(PollNode* node)
{
    if (!node || !node->parent)
        return false;
    auto& siblings = node->parent->children;
    siblings.erase(siblings.begin() + static_cast<long>(node->IndexInParent()));
    return true;
}

bool PollTree::MoveUp(PollNode* node)
{
    if (!node || !node->parent)
        return false;
    size_t i = node->IndexInParent();
    if (i == 0)
        return false;
    std::swap(node->parent->children[i - 1], node->parent->children[i]);
    return true;
}

bool PollTree::MoveDown(PollNode* node)
{
    if (!node || !node->parent)
        return false;
    size_t i = node->IndexInParent();
    if (i + 1 >= node->parent->children.size())
        return false;
    std::swap(node->parent->children[i], node->parent->children[i + 1]);
    return true;
}

void PollTree::Clear()
{
    m_root->children.clear();
}

void PollTree::ClickOption(PollNode* node)
{
    if (!node || !node->parent)
        return;
    if (node->kind == kPollCheckOption) {
        node->state = node->state == kPollTicked ? kPollUnticked : kPollTicked;
    } else if (node->kind == kPollRadioOption) {
        for (auto& sibling : node->parent->children)
            sibling->state = kPollUnchosen;
        node->state = kPollChosen;
    }
}

std::string PollTree::BuildOpenText(bool hasManager, PollRecord* record) const
{
    if (record)
        record->clear();
    if (QuestionCount() == 0 || m_mode != Mode::Editing || !hasManager)
        return {};
    PollRecord built;
    for (const auto& q : m_root->children) {
        PollQuestionRecord question{q->kind, q->text, {}, {}};
        for (const auto& o : q->children)
            question.options.push_back({o->text, {}});
        built.push_back(std::move(question));
    }
    std::string text = BuildPollText(built);
    if (record)
        *record = std::move(built);
    return text;
}

std::string PollTree::BuildSubmitText(const std::string& session, const std::string& name) const
{
    if (QuestionCount() == 0 || m_mode != Mode::Answering)
        return {};
    std::string text(kPollSubmitKeyword);
    text += session;
    text += '|';
    text += name;
    text += kPollLineEnd;
    for (const auto& q : m_root->children) {
        text += PollQuestionKeyword(q->kind);
        const auto& options = q->children;
        if (q->kind == kPollRadioQuestion) {
            for (size_t i = 0; i < options.size(); ++i)
                if (options[i]->state == kPollChosen) {
                    text += std::to_string(i);
                    break;
                }
        } else if (q->kind == kPollCheckQuestion) {
            for (size_t i = 0; i < options.size(); ++i)
                if (options[i]->state == kPollTicked)
                    text += std::to_string(i) + ";";
        } else if (!options.empty()) {
            text += options[0]->text;
        }
        text += kPollLineEnd;
    }
    return text;
}

void PollTree::AdoptQuestions(std::vector<PollQuestionRecord> questions)
{
    Clear();
    for (PollQuestionRecord& q : questions) {
        PollNode* question = AddNode(nullptr, q.kind, std::move(q.text));
        for (PollOptionRecord& o : q.options)
            AddNode(question, 0, std::move(o.text));
    }
}

bool PollTree::ParseOpenText(std::string_view text)
{
    // The opening keyword and the two characters of its line end.
    const size_t start = kPollOpenKeyword.size() + kPollLineEnd.size();
    if (text.size() < start || !StartsWith(text, kPollOpenKeyword))
        return false;
    std::vector<std::string_view> lines;
    SplitPollLines(text.substr(start), false, text.size(), lines);
    PollRecord questions;
    ReadPollQuestions(lines, 0, false, {}, questions);
    AdoptQuestions(std::move(questions));
    return true;
}

bool PollTree::LoadPollFile(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    if (bytes.size() > kPollFileMaxBytes || !SplitPollLines(bytes, true, kPollFileMaxLine, lines) ||
        lines.empty() || !StartsWith(lines[0], kPollOpenKeyword))
        return false;
    PollRecord questions;
    ReadPollQuestions(lines, 1, true, {}, questions);
    AdoptQuestions(std::move(questions));
    modified = false;
    return true;
}

std::string CleanItemText(std::string_view entered)
{
    if (entered.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return {};
    std::string joined;
    for (size_t pos = 0;;) {
        size_t end = entered.find(kPollLineEnd, pos);
        joined.append(entered.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos));
        if (end == std::string_view::npos)
            break;
        pos = end + kPollLineEnd.size();
    }
    // Count characters by their lead bytes; cut before the 256th.
    size_t characters = 0;
    for (size_t i = 0; i < joined.size(); ++i) {
        if ((static_cast<unsigned char>(joined[i]) & 0xC0) == 0x80)
            continue;
        if (++characters > kPollItemMaxChars) {
            joined.resize(i);
            break;
        }
    }
    return joined;
}

std::string PollOptionLabel(size_t position)
{
    constexpr size_t kTwoLetters = 26;
    constexpr size_t kThreeLetters = 26 * 26;
    constexpr size_t kNoLabel = 26 * 476;
    std::string label;
    if (position < kTwoLetters) {
        label += static_cast<char>('a' + position);
    } else if (position < kThreeLetters) {
        label += static_cast<char>('a' + position / 26 - 1);
        label += static_cast<char>('a' + position % 26);
    } else if (position < kNoLabel) {
        size_t n = position - kThreeLetters;
        label += static_cast<char>('a' + n / 676);
        label += static_cast<char>('a' + n / 26 % 26);
        label += static_cast<char>('a' + n % 26);
    } else {
        return {};
    }
    label += '.';
    return label;
}
