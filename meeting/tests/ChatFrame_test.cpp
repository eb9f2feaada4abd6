// Chat frames: the exact upstream bytes, and the downstream reader fed whole,
// one byte at a time and with crafted frames that must be dropped or cut.
#include "meeting/ChatFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A bare downstream frame with the given lengths (they may lie).
std::vector<uint8_t> Frame(const std::string& from, const std::string& to, const std::string& text, int fromLength = -1,
                           int toLength = -1, int n = -1)
{
    const size_t body = from.size() + to.size() + text.size();
    const size_t len = n < 0 ? body : static_cast<size_t>(n);
    std::vector<uint8_t> out{8, 0, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len & 0xFF),
                             static_cast<uint8_t>(fromLength < 0 ? from.size() : fromLength),
                             static_cast<uint8_t>(toLength < 0 ? to.size() : toLength)};
    for (const std::string* s : {&from, &to, &text})
        out.insert(out.end(), s->begin(), s->end());
    return out;
}

struct Collect : ChatFrameReader::Sink {
    std::vector<ChatFrame> frames;
    std::vector<std::string> dropped;
    void OnChatFrame(ChatFrameReader::Event e, const ChatFrame& f, const char* why) override
    {
        if (e == ChatFrameReader::Event::Frame)
            frames.push_back(f);
        else
            dropped.push_back(why);
    }
};

TEST(ChatPacket, ToEverybodyIsTheSeventeenBytesPeersRead)
{
    std::vector<uint8_t> want{0x08, 0x00, 0x00, 0x0D, 0x08, 0x00, 0x00, 0x07, 0x02, 0x03};
    for (char c : std::string("S1ALLhi"))
        want.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(BuildChatPacket("S1", "ALL", "hi"), want);
}

TEST(ChatPacket, IdsAndTextThatCannotTravelBuildNothing)
{
    EXPECT_TRUE(BuildChatPacket("", "ALL", "hi").empty());
    EXPECT_TRUE(BuildChatPacket("S1", "", "hi").empty());
    EXPECT_TRUE(BuildChatPacket(std::string(128, 's'), "ALL", "hi").empty());
    EXPECT_TRUE(BuildChatPacket("S1", std::string(128, 't'), "hi").empty());
    EXPECT_FALSE(BuildChatPacket(std::string(127, 's'), "ALL", "hi").empty());
    EXPECT_TRUE(BuildChatPacket("S1", "ALL", std::string(0xFFFF, 'x')).empty());
    const ControlPacket biggest = BuildChatPacket("S1", "ALL", std::string(0xFFFF - 6 - 5, 'x'));
    ASSERT_FALSE(biggest.empty());
    EXPECT_EQ(biggest[2], 0xFF);
    EXPECT_EQ(biggest[3], 0xFF);
}

TEST(ChatFrameReader, FramesWholeOrOneByteAtATimeGiveTheSameMessages)
{
    std::vector<uint8_t> stream = Frame("S2", "ALL", "hello");
    stream.push_back(0);  // type 0 between frames is skipped
    stream.push_back(0);
    const std::vector<uint8_t> second = Frame("S3", "S1", "just you");
    stream.insert(stream.end(), second.begin(), second.end());
    const std::vector<uint8_t> empty = Frame("", "", "", 0, 0, 0);  // n = 0 is skipped
    stream.insert(stream.end(), empty.begin(), empty.end());

    for (size_t piece : {stream.size(), size_t(1), size_t(3)}) {
        ChatFrameReader reader;
        Collect sink;
        for (size_t i = 0; i < stream.size(); i += piece)
            reader.Feed(stream.data() + i, std::min(piece, stream.size() - i), sink);
        ASSERT_EQ(sink.frames.size(), 2u) << piece;
        EXPECT_EQ(sink.frames[0].from, "S2");
        EXPECT_EQ(sink.frames[0].to, "ALL");
        EXPECT_EQ(sink.frames[0].text, "hello");
        EXPECT_EQ(sink.frames[1].to, "S1");
        EXPECT_EQ(sink.frames[1].text, "just you");
        EXPECT_TRUE(sink.dropped.empty());
        EXPECT_FALSE(reader.Ended());
    }
}

TEST(ChatFrameReader, AnotherTypeEndsTheStreamForGood)
{
    std::vector<uint8_t> stream = Frame("S2", "ALL", "one");
    stream.push_back(9);
    const std::vector<uint8_t> after = Frame("S2", "ALL", "two");
    stream.insert(stream.end(), after.begin(), after.end());
    ChatFrameReader reader;
    Collect sink;
    const size_t used = reader.Feed(stream.data(), stream.size(), sink);
    EXPECT_TRUE(reader.Ended());
    ASSERT_EQ(sink.frames.size(), 1u);
    EXPECT_EQ(sink.frames[0].text, "one");
    EXPECT_EQ(used, Frame("S2", "ALL", "one").size() + 1);
}

// Regression: the ids were copied into 128-byte buffers by their announced
// lengths (up to 255), and ids longer than the frame made the text's length
// negative. Each bad frame is dropped and the next one still reads.
TEST(ChatFrameReader, CraftedFramesAreDroppedAndTheStreamStaysInStep)
{
    struct Case {
        const char* why;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"sender of 128 bytes", Frame(std::string(128, 'a'), "ALL", "x")},
        {"recipient of 255 bytes", Frame("S2", std::string(255, 'b'), "x")},
        {"ids longer than n", Frame("S2", "ALL", "hello", 200, 3)},
        {"from + to > n", Frame("S2", "AL", "", 2, 3, 4)},
        {"empty sender", Frame("", "ALL", "x", 0, 3)},
        {"NUL in an id", Frame(std::string("S\0", 2), "ALL", "x")},
    };
    const std::vector<uint8_t> good = Frame("S2", "ALL", "still here");
    for (const Case& c : cases) {
        std::vector<uint8_t> stream = c.bytes;
        stream.insert(stream.end(), good.begin(), good.end());
        ChatFrameReader reader;
        Collect sink;
        for (uint8_t b : stream)
            reader.Feed(&b, 1, sink);
        EXPECT_EQ(sink.dropped.size(), 1u) << c.why;
        ASSERT_EQ(sink.frames.size(), 1u) << c.why;
        EXPECT_EQ(sink.frames[0].text, "still here") << c.why;
    }
}

// Regression: a text over 1023 characters ran past the 1024-character buffer.
TEST(ChatFrameReader, LongTextIsCutAtACharacterBoundary)
{
    ChatFrameReader reader;
    Collect sink;
    const std::vector<uint8_t> ascii = Frame("S2", "ALL", std::string(5000, 'x'));
    reader.Feed(ascii.data(), ascii.size(), sink);
    // 1022 ASCII characters then a character outside the BMP (two units):
    // it does not fit in the last unit and goes whole.
    const std::vector<uint8_t> astral = Frame("S2", "ALL", std::string(1022, 'y') + "\xF0\x9F\x98\x80" + "z");
    reader.Feed(astral.data(), astral.size(), sink);
    ASSERT_EQ(sink.frames.size(), 2u);
    EXPECT_EQ(sink.frames[0].text, std::string(1023, 'x'));
    EXPECT_TRUE(sink.frames[0].textCut);
    EXPECT_EQ(sink.frames[1].text, std::string(1022, 'y'));
    EXPECT_TRUE(sink.frames[1].textCut);
}

TEST(ChatFrameReader, BurstOfTwoHundredFramesArrivesInOrder)
{
    std::vector<uint8_t> stream;
    for (int i = 0; i < 200; ++i) {
        const std::vector<uint8_t> f = Frame("S2", "ALL", "line " + std::to_string(i));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    ChatFrameReader reader;
    Collect sink;
    for (size_t i = 0; i < stream.size(); i += 700)
        reader.Feed(stream.data() + i, std::min<size_t>(700, stream.size() - i), sink);
    ASSERT_EQ(sink.frames.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(sink.frames[i].text, "line " + std::to_string(i));
}

TEST(CutUtf8ToUnits, CountsUtf16UnitsAndKeepsCharactersWhole)
{
    EXPECT_EQ(CutUtf8ToUnits("abc", 2), "ab");
    EXPECT_EQ(CutUtf8ToUnits("a\xC3\xA9z", 2), "a\xC3\xA9");   // é is one unit
    EXPECT_EQ(CutUtf8ToUnits("a\xE2\x82\xAC", 1), "a");        // € never half
    EXPECT_EQ(CutUtf8ToUnits("\xF0\x9F\x98\x80", 1), "");       // two units
    EXPECT_EQ(CutUtf8ToUnits("\xF0\x9F\x98\x80", 2), "\xF0\x9F\x98\x80");
    EXPECT_EQ(CutUtf8ToUnits("\xE2\x82", 5), "\xE2\x82");       // a cut sequence: one unit a byte
    EXPECT_EQ(CutUtf8ToUnits("", 3), "");
}

} // namespace
