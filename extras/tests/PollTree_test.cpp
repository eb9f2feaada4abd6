// The poll tree's model: kinds and states derived from the parent, the
// editor's moves, answering clicks, entered texts and option labels.
#include "extras/PollTree.h"

#include <gtest/gtest.h>

namespace {

std::string Shape(const PollNode& root)
{
    std::string s;
    for (const auto& q : root.children) {
        s += q->text + "(" + std::to_string(q->kind) + ")[";
        for (const auto& o : q->children) {
            EXPECT_EQ(o->parent, q.get());
            s += o->text + ":" + std::to_string(o->kind) + "/" + std::to_string(o->state) + ",";
        }
        s += "]";
    }
    return s;
}

} // namespace

TEST(PollTreeModel, ChildrenTakeKindAndStateFromTheirQuestion)
{
    PollTree tree(PollTree::Mode::Editing);
    PollNode* check = tree.AddNode(nullptr, kPollCheckQuestion, "C");
    PollNode* radio = tree.AddNode(nullptr, kPollRadioQuestion, "R");
    PollNode* text = tree.AddNode(nullptr, kPollShortQuestion, "S");
    PollNode* c1 = tree.AddNode(check, 0, "c1");
    tree.AddNode(radio, 0, "r1");
    tree.AddNode(text, 0, "");
    tree.InsertAfter(c1, "c0");
    EXPECT_EQ(Shape(tree.Root()), "C(2)[c1:1/2,c0:1/2,]R(4)[r1:3/4,]S(6)[:5/0,]");
    // A question after the first, between the others.
    tree.InsertAfter(check, "C2");
    EXPECT_EQ(tree.Root().children[1]->text, "C2");
    EXPECT_EQ(tree.Root().children[1]->kind, kPollCheckQuestion);
    // Refused: an option at the top, a child of an option, a kind-0 question.
    EXPECT_EQ(tree.AddNode(nullptr, kPollCheckOption, "x"), nullptr);
    EXPECT_EQ(tree.AddNode(nullptr, 0, "x"), nullptr);
    EXPECT_EQ(tree.AddNode(c1, 0, "x"), nullptr);
    EXPECT_EQ(tree.InsertAfter(&tree.Root(), "x"), nullptr);
}

TEST(PollTreeModel, DeleteUpDownAndClearKeepTheTreeConsistent)
{
    PollTree tree(PollTree::Mode::Editing);
    PollNode* a = tree.AddNode(nullptr, kPollRadioQuestion, "A");
    PollNode* b = tree.AddNode(nullptr, kPollCheckQuestion, "B");
    PollNode* a1 = tree.AddNode(a, 0, "a1");
    PollNode* a2 = tree.AddNode(a, 0, "a2");
    tree.AddNode(b, 0, "b1");

    EXPECT_FALSE(tree.MoveUp(a));
    EXPECT_FALSE(tree.MoveDown(b));
    EXPECT_FALSE(tree.MoveUp(a1));
    EXPECT_TRUE(tree.MoveDown(a1));
    EXPECT_TRUE(tree.MoveUp(b));
    EXPECT_EQ(Shape(tree.Root()), "B(2)[b1:1/2,]A(4)[a2:3/4,a1:3/4,]");
    EXPECT_EQ(a2->IndexInParent(), 0u);

    EXPECT_FALSE(tree.Delete(&tree.Root()));
    EXPECT_FALSE(tree.Delete(nullptr));
    EXPECT_TRUE(tree.Delete(a2));
    EXPECT_TRUE(tree.Delete(b));  // with its option
    EXPECT_EQ(Shape(tree.Root()), "A(4)[a1:3/4,]");
    tree.Clear();
    EXPECT_EQ(tree.QuestionCount(), 0u);
}

TEST(PollTreeModel, AnsweringClicksToggleAndChoose)
{
    PollTree tree(PollTree::Mode::Answering);
    PollNode* check = tree.AddNode(nullptr, kPollCheckQuestion, "C");
    PollNode* radio = tree.AddNode(nullptr, kPollRadioQuestion, "R");
    PollNode* c0 = tree.AddNode(check, 0, "c0");
    PollNode* r0 = tree.AddNode(radio, 0, "r0");
    PollNode* r1 = tree.AddNode(radio, 0, "r1");

    tree.ClickOption(c0);
    EXPECT_EQ(c0->state, kPollTicked);
    tree.ClickOption(c0);
    EXPECT_EQ(c0->state, kPollUnticked);

    tree.ClickOption(r0);
    EXPECT_EQ(r0->state, kPollChosen);
    tree.ClickOption(r0);  // a click on the chosen one keeps it
    EXPECT_EQ(r0->state, kPollChosen);
    tree.ClickOption(r1);  // and another moves the choice
    EXPECT_EQ(r0->state, kPollUnchosen);
    EXPECT_EQ(r1->state, kPollChosen);

    std::string before = Shape(tree.Root());
    tree.ClickOption(radio);  // a question: nothing
    tree.ClickOption(nullptr);
    EXPECT_EQ(Shape(tree.Root()), before);
}

TEST(PollTreeModel, EnteredTextsAreCleaned)
{
    std::string e255, e256;
    for (int i = 0; i < 255; ++i)
        e255 += "\xE2\x82\xAC";
    e256 = e255 + "\xE2\x82\xAC";
    struct {
        const char* why;
        std::string entered;
        std::string stored;
    } cases[] = {
        {"plain", "Lunch?", "Lunch?"},
        {"blanks only", " \t\r\n  ", ""},
        {"empty", "", ""},
        {"lines joined", "one\r\ntwo\r\n", "onetwo"},
        {"a lone LF stays", "a\nb", "a\nb"},
        {"255 characters kept", e255, e255},
        {"the 256th is cut, never inside a character", e256, e255},
        {"leading blanks kept", "  x", "  x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CleanItemText(c.entered), c.stored) << c.why;
}

TEST(PollTreeModel, OptionLabels)
{
    struct {
        size_t position;
        const char* label;
    } cases[] = {
        {0, "a."}, {25, "z."}, {26, "aa."}, {51, "az."}, {52, "ba."}, {675, "yz."},
        {676, "aaa."}, {677, "aab."}, {702, "aba."}, {676 + 676, "baa."},
        {26 * 476 - 1, "rhz."}, {26 * 476, ""}, {100000, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PollOptionLabel(c.position), c.label) << c.position;
}
