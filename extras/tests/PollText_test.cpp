// Poll texts, submits and the two poll files, byte for byte: what the editor
// builds, what the readers take from crafted or cut input, and saved files
// read back and written again unchanged.
#include "extras/PollRecord.h"
#include "extras/PollTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Fixture(const char* name)
{
    std::string path = std::string(CORVISK_POLL_FIXTURES) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes bytes to a real file and reads them back, both in binary.
std::string ThroughFile(const std::string& bytes)
{
    std::string path = ::testing::TempDir() + "poll_round_trip.bin";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::ifstream in(path, std::ios::binary);
    std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return back;
}

// A tree in editing mode holding one question of each kind.
void FillThreeKinds(PollTree& tree)
{
    PollNode* radio = tree.AddNode(nullptr, kPollRadioQuestion, "Which day suits?");
    tree.AddNode(radio, 0, "Monday");
    tree.AddNode(radio, 0, "Dienstag \xC3\xA4\xC3\xB6\xC3\xBC");
    tree.AddNode(radio, 0, "\xE6\xB0\xB4\xE6\x9B\x9C\xE6\x97\xA5");
    PollNode* check = tree.AddNode(nullptr, kPollCheckQuestion, "Bring what?");
    for (const char* o : {"Notes", "Laptop", "Coffee"})
        tree.AddNode(check, 0, o);
    PollNode* text = tree.AddNode(nullptr, kPollShortQuestion, "Anything else?");
    tree.AddNode(text, 0, "");
}

std::string Questions(const PollTree& tree)
{
    std::string shape;
    for (const auto& q : tree.Root().children) {
        shape += std::to_string(q->kind) + ":" + q->text + "[";
        for (const auto& o : q->children)
            shape += o->text + ",";
        shape += "]";
    }
    return shape;
}

} // namespace

TEST(PollText, OneCheckQuestionIsExactlyFiveLines)
{
    PollTree tree(PollTree::Mode::Editing);
    PollNode* q = tree.AddNode(nullptr, kPollCheckQuestion, "Q");
    tree.AddNode(q, 0, "A");
    tree.AddNode(q, 0, "B");
    PollRecord record;
    std::string text = tree.BuildOpenText(true, &record);
    EXPECT_EQ(text, "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: Q\r\nPL_ANS: A\r\nPL_ANS: B\r\n\r\n");
    EXPECT_EQ(text, Fixture("one_check.plp"));
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(record[0].kind, 2);
    ASSERT_EQ(record[0].options.size(), 2u);
    EXPECT_EQ(record[0].options[1].text, "B");
}

TEST(PollText, NothingIsBuiltWithoutQuestionManagerOrEditingMode)
{
    PollRecord record{{2, "stale", {}, {}}};
    PollTree empty(PollTree::Mode::Editing);
    EXPECT_EQ(empty.BuildOpenText(true, &record), "");
    EXPECT_TRUE(record.empty());

    PollTree editing(PollTree::Mode::Editing);
    FillThreeKinds(editing);
    EXPECT_EQ(editing.BuildOpenText(false, nullptr), "");

    PollTree answering(PollTree::Mode::Answering);
    FillThreeKinds(answering);
    EXPECT_EQ(answering.BuildOpenText(true, nullptr), "");
    EXPECT_EQ(editing.BuildSubmitText("s", "n"), "");
}

TEST(PollText, ThreeKindsMatchTheSavedPollFile)
{
    PollTree tree(PollTree::Mode::Editing);
    FillThreeKinds(tree);
    EXPECT_EQ(tree.BuildOpenText(true, nullptr), Fixture("three_kinds.plp"));
}

TEST(PollText, SubmitTextCarriesPositionsTicksAndTheAnswerBox)
{
    PollTree tree(PollTree::Mode::Answering);
    ASSERT_TRUE(tree.ParseOpenText(Fixture("three_kinds.plp")));
    auto& qs = tree.Root().children;
    EXPECT_EQ(tree.BuildSubmitText("S1", "Ann"),
              "PL_POLLING_SUBMIT: S1|Ann\r\nPL_RADIO_QIZ: \r\nPL_CHECK_QIZ: \r\nPL_SHORT_QIZ: \r\n");
    tree.ClickOption(qs[0]->children[2].get());
    tree.ClickOption(qs[1]->children[0].get());
    tree.ClickOption(qs[1]->children[2].get());
    qs[2]->children[0]->text = "see you";
    EXPECT_EQ(tree.BuildSubmitText("S1", "Ann"),
              "PL_POLLING_SUBMIT: S1|Ann\r\nPL_RADIO_QIZ: 2\r\nPL_CHECK_QIZ: 0;2;\r\nPL_SHORT_QIZ: see you\r\n");
}

// What the reader of a received poll text makes of crafted texts.
TEST(PollText, ReceivedPollTextsAreReadAsFarAsTheyGo)
{
    struct {
        const char* why;
        std::string text;
        bool taken;
        std::string shape;
    } cases[] = {
        {"empty", "", false, ""},
        {"shorter than the keyword", "PL_POLL", false, ""},
        {"the bare keyword (17 characters)", "PL_POLLING_OPEN: ", false, ""},
        {"another keyword", "PL_POLLING_SUBMIT: x|y\r\nPL_CHECK_QIZ: Q\r\nPL_ANS: A\r\n\r\n", false, ""},
        {"keyword and line end only", "PL_POLLING_OPEN: \r\n", true, ""},
        {"option lines end at a question line, which is read again",
         "PL_POLLING_OPEN: \r\nPL_RADIO_QIZ: R\r\nPL_ANS: a\r\nPL_SHORT_QIZ: S\r\nPL_ANS: \r\n\r\n", true,
         "4:R[a,]6:S[,]"},
        {"the empty line is consumed; unknown lines skipped",
         "PL_POLLING_OPEN: \r\nnoise\r\nPL_CHECK_QIZ: C\r\nPL_ANS: x\r\n\r\n\r\nPL_USER: a|b\r\n", true, "2:C[x,]"},
        {"a question without options stays (poll text)",
         "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: C\r\n\r\n", true, "2:C[]"},
        {"last question lacks its final line end: dropped",
         "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: C\r\nPL_ANS: x\r\n\r\nPL_RADIO_QIZ: R", true, "2:C[x,]"},
        {"a line end missing after the last option ends the reading",
         "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: C\r\nPL_ANS: x\r\nPL_ANS: y", true, "2:C[x,]"},
        {"question keyword with nothing after it", "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: \r\nPL_ANS: \r\n", true,
         "2:[,]"},
        {"invalid UTF-8 becomes U+FFFD",
         "PL_POLLING_OPEN: \r\nPL_RADIO_QIZ: \xFF\xC3\r\nPL_ANS: a\xE2\x82\r\n\r\n", true,
         "4:\xEF\xBF\xBD\xEF\xBF\xBD[a\xEF\xBF\xBD,]"},
    };
    for (const auto& c : cases) {
        PollTree tree(PollTree::Mode::Answering);
        PollNode* before = tree.AddNode(nullptr, kPollCheckQuestion, "old");
        tree.AddNode(before, 0, "o");
        EXPECT_EQ(tree.ParseOpenText(c.text), c.taken) << c.why;
        EXPECT_EQ(Questions(tree), c.taken ? c.shape : "2:old[o,]") << c.why;
    }
}

TEST(PollText, HugeReceivedPollsAreReadWhole)
{
    std::string text = "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: " + std::string(5000, 'q') + "\r\n";
    for (int i = 0; i < 10000; ++i)
        text += "PL_ANS: " + std::to_string(i) + "\r\n";
    text += "\r\n";
    PollTree tree(PollTree::Mode::Answering);
    ASSERT_TRUE(tree.ParseOpenText(text));
    ASSERT_EQ(tree.QuestionCount(), 1u);
    EXPECT_EQ(tree.Root().children[0]->text.size(), 5000u);
    EXPECT_EQ(tree.Root().children[0]->children.size(), 10000u);
}

namespace {

PollRecord ThreeKindsRecord()
{
    PollTree tree(PollTree::Mode::Editing);
    FillThreeKinds(tree);
    PollRecord record;
    tree.BuildOpenText(true, &record);
    return record;
}

std::string Voters(const PollRecord& record)
{
    std::string all;
    for (const PollQuestionRecord& q : record) {
        for (const PollOptionRecord& o : q.options) {
            all += "{";
            for (const auto& v : o.voters)
                all += v.first + "=" + v.second + ";";
            all += "}";
        }
        all += "|";
    }
    return all;
}

} // namespace

// Each submit against the three-question record; "whole" says whether every
// line had its line end (only a whole submit is stored and counted).
TEST(PollText, SubmitsAreReadLineByLine)
{
    const std::string head = "PL_POLLING_SUBMIT: s1|Ann\r\n";
    struct {
        const char* why;
        std::string text;
        bool header;
        bool whole;
        std::string votes;
    } cases[] = {
        {"no line end at all", "PL_POLLING_SUBMIT: s1|Ann", false, false, "{}{}{}|{}{}{}|{}|"},
        {"shorter than the keyword", "PL_POLL\r\n", false, false, "{}{}{}|{}{}{}|{}|"},
        {"header without |", "PL_POLLING_SUBMIT: s1 Ann\r\nPL_RADIO_QIZ: 0\r\n", false, false,
         "{}{}{}|{}{}{}|{}|"},
        {"every kind answered",
         head + "PL_RADIO_QIZ: 1\r\nPL_CHECK_QIZ: 0;2;\r\nPL_SHORT_QIZ: ok\r\n", true, true,
         "{}{s1=Ann;}{}|{s1=Ann;}{}{s1=Ann;}|{s1=<Ann> :ok;}|"},
        {"nothing chosen is no answer", head + "PL_RADIO_QIZ: \r\nPL_CHECK_QIZ: \r\nPL_SHORT_QIZ: \r\n", true, true,
         "{}{}{}|{}{}{}|{}|"},
        {"1;0;3 votes for 1 and 0 only; a last piece without ; is ignored",
         head + "PL_RADIO_QIZ: \r\nPL_CHECK_QIZ: 1;0;3;2\r\n", true, true, "{}{}{}|{s1=Ann;}{s1=Ann;}{}|{}|"},
        {"positions far outside the options", head + "PL_RADIO_QIZ: 99999999999999999999999\r\nPL_CHECK_QIZ: 4294967296;\r\n",
         true, true, "{}{}{}|{}{}{}|{}|"},
        {"no digits reads as position 0", head + "PL_RADIO_QIZ: x\r\n", true, true, "{s1=Ann;}{}{}|{}{}{}|{}|"},
        {"a line of another kind is ignored; extra lines too",
         head + "PL_CHECK_QIZ: 0;\r\nPL_CHECK_QIZ: 1;\r\nPL_SHORT_QIZ: a\r\nPL_SHORT_QIZ: b\r\nPL_USER: x\r\n", true,
         true, "{}{}{}|{}{s1=Ann;}{}|{s1=<Ann> :a;}|"},
        {"the same option twice is one vote", head + "PL_RADIO_QIZ: 0\r\nPL_CHECK_QIZ: 1;1;1;\r\n", true, true,
         "{s1=Ann;}{}{}|{}{s1=Ann;}{}|{}|"},
        {"a cut line ends reading; whole lines keep their votes",
         head + "PL_RADIO_QIZ: 2\r\nPL_CHECK_QIZ: 0;", true, false, "{}{}{s1=Ann;}|{}{}{}|{}|"},
        {"a name containing | is split at the first",
         "PL_POLLING_SUBMIT: s1|A|nn\r\nPL_RADIO_QIZ: 0\r\n", true, true, "{s1=A|nn;}{}{}|{}{}{}|{}|"},
    };
    for (const auto& c : cases) {
        PollRecord record = ThreeKindsRecord();
        PollSubmitHeader who;
        bool header = ReadSubmitHeader(c.text, who);
        EXPECT_EQ(header, c.header) << c.why;
        if (header) {
            EXPECT_EQ(ApplySubmitVotes(record, c.text, who), c.whole) << c.why;
        }
        EXPECT_EQ(Voters(record), c.votes) << c.why;
    }
}

TEST(PollText, PollFilesLoadWithTheFileRules)
{
    struct {
        const char* why;
        std::string bytes;
        bool loaded;
        std::string shape;
    } cases[] = {
        {"saved three kinds", Fixture("three_kinds.plp"), true,
         "4:Which day suits?[Monday,Dienstag \xC3\xA4\xC3\xB6\xC3\xBC,\xE6\xB0\xB4\xE6\x9B\x9C\xE6\x97\xA5,]"
         "2:Bring what?[Notes,Laptop,Coffee,]6:Anything else?[,]"},
        {"not a poll file", "hello\r\n", false, ""},
        {"empty file", "", false, ""},
        {"a question without options is not loaded",
         "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: none\r\n\r\nPL_RADIO_QIZ: R\r\nPL_ANS: r\r\n\r\n", true, "4:R[r,]"},
        {"the line ending the options is consumed, not read again",
         "PL_POLLING_OPEN: \r\nPL_RADIO_QIZ: R\r\nPL_ANS: r\r\nPL_CHECK_QIZ: C\r\nPL_ANS: c\r\n\r\n", true, "4:R[r,]"},
        // A last line without its line end keeps all its characters.
        {"last line cut", "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: C\r\nPL_ANS: xyz", true, "2:C[xyz,]"},
        {"a line longer than 64 KB refuses the file",
         "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: C\r\nPL_ANS: " + std::string(70000, 'x') + "\r\n\r\n", false, ""},
        {"options of 2000 bytes are kept whole",
         "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: C\r\nPL_ANS: " + std::string(2000, 'x') + "\r\n\r\n", true,
         "2:C[" + std::string(2000, 'x') + ",]"},
    };
    for (const auto& c : cases) {
        PollTree tree(PollTree::Mode::Editing);
        tree.AddNode(nullptr, kPollShortQuestion, "old");
        tree.modified = true;
        EXPECT_EQ(tree.LoadPollFile(ThroughFile(c.bytes)), c.loaded) << c.why;
        EXPECT_EQ(Questions(tree), c.loaded ? c.shape : "6:old[]") << c.why;
        EXPECT_EQ(tree.modified, !c.loaded) << c.why;
    }
}

// Build, save, read, build: the same bytes, with non-ASCII texts and items of
// 255 characters.
TEST(PollText, PollFilesRoundTripByteForByte)
{
    PollTree tree(PollTree::Mode::Editing);
    FillThreeKinds(tree);
    std::string longItem;
    for (int i = 0; i < 255; ++i)
        longItem += "\xC3\xA9";
    PollNode* q = tree.AddNode(nullptr, kPollCheckQuestion, longItem);
    tree.AddNode(q, 0, longItem);
    std::string first = tree.BuildOpenText(true, nullptr);

    PollTree back(PollTree::Mode::Editing);
    ASSERT_TRUE(back.LoadPollFile(ThroughFile(first)));
    EXPECT_EQ(back.BuildOpenText(true, nullptr), first);
    PollTree received(PollTree::Mode::Answering);
    ASSERT_TRUE(received.ParseOpenText(first));
    EXPECT_EQ(Questions(received), Questions(back));
}

TEST(PollText, ResultFileMatchesItsFixtureAndReadsBack)
{
    PollPeople asked{{"77", "Dave"}, {"1a2b", "Carol \xC3\x89"}, {"1A2B", "Bob"}, {"nameless", ""}};
    std::vector<std::string> submits{
        "PL_POLLING_SUBMIT: 1A2B|Bob\r\nPL_RADIO_QIZ: 1\r\nPL_CHECK_QIZ: 0;2;\r\nPL_SHORT_QIZ: late again\r\n",
        "",
        "PL_POLLING_SUBMIT: 1a2b|Carol \xC3\x89\r\nPL_RADIO_QIZ: \r\nPL_CHECK_QIZ: 2;\r\nPL_SHORT_QIZ: \r\n",
    };
    std::string file = BuildResultFile(Fixture("three_kinds.plp"), asked, submits);
    EXPECT_EQ(file, Fixture("three_kinds.plpr"));

    PollResults read;
    ASSERT_EQ(ReadResultFile(ThroughFile(file), read), kPollResultLoaded);
    EXPECT_EQ(read.asked.size(), 3u);
    EXPECT_EQ(read.asked["1a2b"], "Carol \xC3\x89");
    EXPECT_EQ(Voters(read.record),
              "{}{1A2B=Bob;}{}|{1A2B=Bob;}{}{1A2B=Bob;1a2b=Carol \xC3\x89;}|{1A2B=<Bob> :late again;}|");
    EXPECT_EQ(BuildResultFile(BuildPollText(read.record), read.asked, read.submits), file);
}

TEST(PollText, ResultFileReaderGivesItsCodes)
{
    const std::string poll = "PL_POLLING_OPEN: \r\nPL_RADIO_QIZ: R\r\nPL_ANS: a\r\nPL_ANS: b\r\n\r\n";
    const std::string users = "PL_USER_LIST: \r\nPL_USER: s1|Ann\r\nPL_USER: bad\r\nPL_USER: s2|B|ob\r\n\r\n";
    const std::string submit = "PL_POLLING_SUBMIT: s1|Ann\r\nPL_RADIO_QIZ: 1\r\n\r\n";
    struct {
        const char* why;
        std::string bytes;
        int code;
    } cases[] = {
        {"empty", "", kPollResultNoPollText},
        {"no poll text", users + submit, kPollResultNoPollText},
        {"no user list", poll + submit, kPollResultNoUserList},
        {"no submit", poll + users, kPollResultNoSubmit},
        {"submit before the list ends is not one", poll + "PL_USER_LIST: \r\n" + submit, kPollResultNoSubmit},
        {"line too long", poll + users + "PL_POLLING_SUBMIT: s1|" + std::string(70000, 'n') + "\r\n",
         kPollResultUnreadable},
        {"whole", poll + users + submit, kPollResultLoaded},
        {"last submit without its empty line", poll + users + "PL_POLLING_SUBMIT: s1|Ann\r\nPL_RADIO_QIZ: 1",
         kPollResultLoaded},
    };
    for (const auto& c : cases) {
        PollResults read;
        read.asked["old"] = "x";
        EXPECT_EQ(ReadResultFile(c.bytes, read), c.code) << c.why;
        if (c.code == kPollResultLoaded) {
            EXPECT_EQ(read.asked.size(), 2u) << c.why;
            EXPECT_EQ(read.asked["s2"], "B|ob") << c.why;
            EXPECT_EQ(read.record[0].options[1].voters.count("s1"), 1u) << c.why;
        } else {
            EXPECT_TRUE(read.record.empty()) << c.why;
            EXPECT_TRUE(read.asked.empty()) << c.why;
        }
    }
}

// A second submit of the same participant in a result file adds nothing.
TEST(PollText, ResultFileCountsTheFirstSubmitOfEachParticipant)
{
    std::string bytes =
        "PL_POLLING_OPEN: \r\nPL_RADIO_QIZ: R\r\nPL_ANS: a\r\nPL_ANS: b\r\n\r\nPL_USER_LIST: \r\nPL_USER: s1|Ann\r\n\r\n"
        "PL_POLLING_SUBMIT: s1|Ann\r\nPL_RADIO_QIZ: 0\r\n\r\nPL_POLLING_SUBMIT: s1|Ann\r\nPL_RADIO_QIZ: 1\r\n\r\n";
    PollResults read;
    ASSERT_EQ(ReadResultFile(bytes, read), kPollResultLoaded);
    EXPECT_EQ(read.submits.size(), 1u);
    EXPECT_EQ(Voters(read.record), "{s1=Ann;}{}|");
}

TEST(PollText, CountTextFitsLargeCounts)
{
    EXPECT_EQ(PollCountText(2, 3), " 2/ 3");
    EXPECT_EQ(PollCountText(100, 1000), "100/1000");
    EXPECT_EQ(PollCountText(4294967295u, 4294967295u), "4294967295/4294967295");
}
