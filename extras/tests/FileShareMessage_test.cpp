#include "extras/FileShareMessage.h"
#include "extras/FileShareName.h"

#include <gtest/gtest.h>

#include <string>

using namespace fileshare;

namespace {

std::string Str(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

Parsed ParseText(const std::string& text, size_t width, bool& ok)
{
    Parsed m;
    ok = Parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), width, m);
    return m;
}

const std::string kHost = "HOST0001";
const std::string kGuest = "GUEST002";

} // namespace

TEST(FileShareMessage, AnnounceToEverybodyHasTheExactLayout)
{
    Head h;
    h.command = kAnnounce;
    h.sender = kHost;
    h.fileId = 2012;
    const Bytes b = Announce(h, 8, 5000, "r\xC3\xA9sum\xC3\xA9.txt");
    const std::string want = "0001\r\n9527\r\n1\r\n@@@@@@@@\r\n" + kHost + "\r\n2012\r\n" + std::string(20, '0') +
                             "5000\r\nr\xC3\xA9sum\xC3\xA9.txt\r\n" + std::string(1, '\0');
    EXPECT_EQ(Str(b), want);
}

TEST(FileShareMessage, ChunkIsAFixedBlockWhateverItsCount)
{
    for (size_t count : {size_t(0), size_t(1), size_t(7168)}) {
        std::string data(count, 'x');
        const Bytes b = Chunk(kGuest, 8, 2013, 7168, reinterpret_cast<const uint8_t*>(data.data()), count);
        ASSERT_EQ(b.size(), 8u + 7226u);
        const std::string head = "0005\r\n0001\r\n0\r\n" + kGuest + "\r\n2013\r\n" + std::string(20, '0') + "7168\r\n" +
                                 (count == 7168 ? "07168" : count == 1 ? "00001" : "00000") + "\r\n";
        ASSERT_EQ(head.size(), 56u + 8u);
        EXPECT_EQ(Str(b).substr(0, head.size()), head);
        EXPECT_EQ(Str(b).substr(head.size(), count), data);
        for (size_t i = head.size() + count; i < b.size(); ++i)
            ASSERT_EQ(b[i], 0) << i;

        Parsed m;
        ASSERT_TRUE(Parse(b.data(), b.size(), 8, m));
        EXPECT_EQ(m.command, kChunk);
        ChunkFields c;
        ASSERT_TRUE(ReadChunk(m, c));
        EXPECT_EQ(c.offset, 7168u);
        EXPECT_EQ(c.count, count);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.data), c.count), data);
    }
}

TEST(FileShareMessage, FieldPositionsFollowTheWidthAndRecipientCount)
{
    // Command at 0, count at 6, flag at 12, ids from 15; sender after the ids.
    for (size_t width : {size_t(4), size_t(8), size_t(32)}) {
        Head h;
        h.command = kAck;
        h.recipients = {std::string(width, 'a'), std::string(width, 'b')};
        h.sender = std::string(width, 's');
        h.fileId = 2099;
        const Bytes b = TextMessage(h, width, NumberField(14336));
        const std::string s = Str(b);
        EXPECT_EQ(s.substr(0, 4), "0102");
        EXPECT_EQ(s.substr(6, 4), "0002");
        EXPECT_EQ(s.substr(12, 1), "1");
        EXPECT_EQ(s.substr(15, width), std::string(width, 'a'));
        EXPECT_EQ(s.substr(15 + 2 * (width + 2), width), std::string(width, 's'));
        EXPECT_EQ(s.substr(15 + 3 * (width + 2), 4), "2099");

        Parsed m;
        ASSERT_TRUE(Parse(b.data(), b.size(), width, m));
        EXPECT_EQ(m.recipients.size(), 2u);
        EXPECT_EQ(m.sender, std::string(width, 's'));
        EXPECT_EQ(m.fileId, 2099);
        EXPECT_TRUE(m.Names(std::string(width, 'b')));
        EXPECT_FALSE(m.Names(std::string(width, 's')));
        uint64_t v = 0;
        ASSERT_TRUE(ReadNumber(m, v));
        EXPECT_EQ(v, 14336u);
    }
}

// Frames a peer may send on purpose; each is dropped whole.
TEST(FileShareMessage, BadFramesAreRefusedNeverReadPast)
{
    const std::string id = "\r\n" + kGuest + "\r\n";
    struct Case {
        const char* why;
        std::string text;
    } cases[] = {
        {"recipient count 9999 with one id", "0001\r\n9999\r\n1" + id + kHost + "\r\n2012\r\n"},
        {"recipient count 0", "0001\r\n0000\r\n0\r\n2012\r\n"},
        {"count of 3 ids, one present", "0102\r\n0003\r\n0" + id + "2012\r\n"},
        {"sender flag 2", "0001\r\n0001\r\n2" + id + "2012\r\n"},
        {"letters in the command", "00x1\r\n0001\r\n0" + id + "2012\r\n"},
        {"missing line ends", "0001000100" + kGuest + "2012"},
        {"id shorter than the width", "0001\r\n0001\r\n0\r\nGUEST\r\n2012\r\n"},
        {"no file id", "0001\r\n0001\r\n0" + id},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        bool ok = true;
        ParseText(c.text, 8, ok);
        EXPECT_FALSE(ok) << c.why;
    }
}

TEST(FileShareMessage, EveryCutOfAGoodFrameIsRefused)
{
    Head h;
    h.command = kAnnounce;
    h.recipients = {kGuest};
    h.sender = kHost;
    h.fileId = 2012;
    const Bytes full = Announce(h, 8, 10, "a.txt");
    const size_t headLength = HeadText(h, 8).size();
    for (size_t n = 0; n < full.size(); ++n) {
        // A copy of exactly n bytes, so the sanitizer sees any read past it.
        std::unique_ptr<uint8_t[]> cut(new uint8_t[n + 1]);
        std::copy(full.begin(), full.begin() + n, cut.get());
        Parsed m;
        const bool parsed = Parse(cut.get(), n, 8, m);
        EXPECT_EQ(parsed, n >= headLength) << n;
        AnnounceFields a;
        if (parsed) {
            EXPECT_FALSE(ReadAnnounce(m, a) && n < headLength + 26) << n;
        }
    }
}

TEST(FileShareMessage, ChunkCountsAndOffsetsOutsideThePayloadAreRefused)
{
    const std::string head = "0005\r\n0001\r\n0\r\n" + kGuest + "\r\n2012\r\n";
    struct Case {
        const char* why;
        std::string fields;
    } cases[] = {
        {"count 99999", std::string(24, '0') + "\r\n99999\r\n"},
        {"count 7169", std::string(24, '0') + "\r\n07169\r\n" + std::string(7169, 'x')},
        {"count past the payload", std::string(24, '0') + "\r\n00100\r\n" + std::string(99, 'x')},
        {"25-digit offset", std::string(25, '1') + "\r\n00001\r\nx"},
        {"negative offset", "-" + std::string(23, '1') + "\r\n00001\r\nx"},
        {"offset past 2 GiB", std::string(14, '0') + "2147483648\r\n00001\r\nx"},
    };
    for (const Case& c : cases) {
        const std::string text = head + c.fields;
        bool ok = false;
        Parsed m = ParseText(text, 8, ok);
        ASSERT_TRUE(ok) << c.why;
        ChunkFields f;
        EXPECT_FALSE(ReadChunk(m, f)) << c.why;
    }
}

TEST(FileShareMessage, AnnouncedSizesOutsideTheRangeAreRefused)
{
    const std::string head = "0001\r\n9527\r\n1\r\n@@@@@@@@\r\n" + kHost + "\r\n2012\r\n";
    const char* sizes[] = {"-00000000000000000000001", "000000000000002147483648", "0000000000000000000000001",
                           "99999999999999999999999x"};
    for (const char* size : sizes) {
        bool ok = false;
        const std::string text = head + size + "\r\na.txt\r\n";
        Parsed m = ParseText(text, 8, ok);
        ASSERT_TRUE(ok);
        AnnounceFields a;
        EXPECT_FALSE(ReadAnnounce(m, a)) << size;
    }
    bool ok = false;
    const std::string text = head + std::string(14, '0') + "2147483647\r\na.txt\r\n";
    Parsed m = ParseText(text, 8, ok);
    AnnounceFields a;
    ASSERT_TRUE(ok && ReadAnnounce(m, a));
    EXPECT_EQ(a.size, 2147483647u);
    EXPECT_EQ(a.name, "a.txt");
}

TEST(FileShareName, NamesFromThePeerBecomeAPlainLastComponent)
{
    struct Case {
        std::string in;
        std::string out;
    } cases[] = {
        {"..\\..\\evil.exe", "evil.exe"},
        {"C:\\Windows\\x.dll", "x.dll"},
        {"C:x.dll", "Cx.dll"},
        {"\\\\server\\share\\a.txt", "a.txt"},
        {"a/b/c.txt", "c.txt"},
        {"..", "file"},
        {"a\\..", "file"},
        {"CON", "_CON"},
        {"con.txt", "_con.txt"},
        {"LPT1", "_LPT1"},
        {"com9.log", "_com9.log"},
        {"COM10", "COM10"},
        {"CONSOLE", "CONSOLE"},
        {"name. ", "name"},
        {"NUL. .", "_NUL"},
        {"report.txt:hidden:$DATA", "report.txthidden$DATA"},
        {std::string("tab\there\x01\x1f\x7f.txt"), "tabhere.txt"},
        {"what?<>|*\".txt", "what.txt"},
        {"", "file"},
        {"   ", "file"},
        {"\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CleanFileName(c.in), c.out) << c.in;
}

TEST(FileShareName, LongNamesAreCutAtACharacterKeepingTheExtension)
{
    std::string longName;
    for (int i = 0; i < 150; ++i)
        longName += "\xC3\xA9";  // 300 characters, 2 bytes each
    const std::string out = CleanFileName(longName + ".pdf");
    EXPECT_LE(out.size(), kMaxCleanName);
    EXPECT_EQ(out.substr(out.size() - 4), ".pdf");
    const std::string stem = out.substr(0, out.size() - 4);
    EXPECT_EQ(stem.size() % 2, 0u) << "cut inside a character";
}
