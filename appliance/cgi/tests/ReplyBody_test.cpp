#include "appliance/cgi/ReplyBody.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/cgi/tests/FakeTransport.h"

namespace {

// windowBits as deflateInit2 takes them: 16 + 15 gzip, 15 zlib, -15 raw.
std::string Compress(const std::string& text, int windowBits) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

const std::string kHead = "HTTP/1.1 200 OK\r\n";

TEST(HeaderField, NameWithoutCaseValueTrimmedStatusLineSkipped) {
    const std::string h = "HTTP/1.1 200 Content-Length: 9\r\nX-A:  one \r\ncontent-length:12\r\nContent-Length: 13\r\n";
    std::string v;
    ASSERT_TRUE(HeaderField(h, "Content-Length", v));
    EXPECT_EQ(v, "12");
    ASSERT_TRUE(HeaderField(h, "x-a", v));
    EXPECT_EQ(v, "one");
    EXPECT_FALSE(HeaderField(h, "X", v));
    EXPECT_FALSE(HeaderField(h, "X-A-B", v));
    EXPECT_FALSE(HeaderField("X-A: 1\r\n", "X-A", v));  // a first line is the status line
}

TEST(CheckReplyBody, LengthAndCodings) {
    const std::string text = "expires=100;meetingState=2;" + std::string(3000, 'p') + "\r\n";
    const std::string gzip = Compress(text, 16 + 15);
    const std::string zlib = Compress(text, 15);
    const std::string raw = Compress(text, -15);
    struct Case {
        const char* what;
        std::string headers, body;
        ReplyBodyCheck result;
    };
    const Case cases[] = {
        {"plain", kHead, text, ReplyBodyCheck::Ok},
        {"length matches", kHead + "Content-Length: " + std::to_string(text.size()) + "\r\n", text,
         ReplyBodyCheck::Ok},
        {"cut short", kHead + "Content-Length: " + std::to_string(text.size() + 1) + "\r\n", text,
         ReplyBodyCheck::Cut},
        {"longer than announced", kHead + "Content-Length: 10\r\n", text, ReplyBodyCheck::Cut},
        {"length not a number", kHead + "Content-Length: 1x\r\n", text, ReplyBodyCheck::Cut},
        {"chunked: no length used", kHead + "Transfer-Encoding: chunked\r\nContent-Length: 1\r\n", text,
         ReplyBodyCheck::Ok},
        {"gzip", kHead + "Content-Encoding: gzip\r\n", gzip, ReplyBodyCheck::Ok},
        {"gzip, length of the coded bytes",
         kHead + "Content-Length: " + std::to_string(gzip.size()) + "\r\ncontent-encoding: GZIP\r\n", gzip,
         ReplyBodyCheck::Ok},
        {"deflate as zlib", kHead + "Content-Encoding: deflate\r\n", zlib, ReplyBodyCheck::Ok},
        {"deflate bare", kHead + "Content-Encoding: deflate\r\n", raw, ReplyBodyCheck::Ok},
        {"identity", kHead + "Content-Encoding: identity\r\n", text, ReplyBodyCheck::Ok},
        {"gzip cut short", kHead + "Content-Encoding: gzip\r\n", gzip.substr(0, gzip.size() / 2),
         ReplyBodyCheck::BadCoding},
        {"gzip that is not", kHead + "Content-Encoding: gzip\r\n", text, ReplyBodyCheck::BadCoding},
        {"unknown coding", kHead + "Content-Encoding: br\r\n", text, ReplyBodyCheck::BadCoding},
    };
    for (const Case& c : cases) {
        std::string body = c.body;
        EXPECT_EQ(CheckReplyBody(c.headers, body, 1 << 20), c.result) << c.what;
        EXPECT_EQ(body, c.result == ReplyBodyCheck::Ok ? text : c.body) << c.what;
    }
}

TEST(CheckReplyBody, DecodedSizeIsCapped) {
    // 64 MB of zeros compress to about 64 KB: the limit holds for what comes out.
    const std::string bomb = Compress(std::string(64u << 20, '\0'), 16 + 15);
    std::string body = bomb;
    EXPECT_EQ(CheckReplyBody(kHead + "Content-Encoding: gzip\r\n", body, 1u << 20), ReplyBodyCheck::TooLarge);
    EXPECT_EQ(body, bomb);
    body = std::string(101, 'x');
    EXPECT_EQ(CheckReplyBody(kHead, body, 100), ReplyBodyCheck::TooLarge);
}

TEST(CheckReplyBody, RequestsReadCompressedRepliesAndDropBrokenOnes) {
    FakeTransport t;
    CgiSession s{t};
    s.meetingId = "7";
    const std::string list = "meetingName=Weekly sync;waitMsg=soon;sessionID=a;name=Ann;role=1;\r\n";
    t.Reply("HTTP/1.1 200 OK\r\nContent-Encoding: gzip", Compress(list, 16 + 15));
    ParticipantUpdate update;
    ASSERT_EQ(CgiGetParticipants(s, 1, update), CGI_OK);
    ASSERT_EQ(update.participants.size(), 1u);
    EXPECT_EQ(update.participants[0].name, L"Ann");
    EXPECT_EQ(update.meeting.meetingName.value_or(""), "Weekly sync");
    EXPECT_EQ(update.meeting.waitMsg.value_or(""), "soon");
    // The form headers ask for what is decoded here.
    EXPECT_NE(t.requests[0].addHeaders.find("\r\nAccept-Encoding: gzip, deflate\r\n"), std::string::npos);

    t.Reply("HTTP/1.1 200 OK\r\nContent-Encoding: gzip", "sessionExpired");
    EXPECT_EQ(CgiGetParticipants(s, 1, update), CGI_NO_RESPONSE);
}

TEST(FormHeaders, TheWholeBlock) {
    EXPECT_EQ(std::string(kFormHeaders),
              "Accept-Language: en-us\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Accept-Encoding: gzip, deflate\r\n");
    EXPECT_EQ(sizeof kFormHeaders - 1, 105u);
}

}  // namespace
