// The canvas message texts: the tool table, the exact texts peers exchange,
// the parse rules for received texts and a round trip of every kind.
#include "meeting/CanvasMessages.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

TEST(CanvasTool, SetTypeFollowsTheToolTable)
{
    struct Row {
        int type, width, alpha, foreground, mask;
        const wchar_t* font;
        int fontSize;
    } rows[] = {
        {0, 0, 255, 0x000000, 0, L"", 0},        {1, 20, 255, 0x000000, 1, L"", 0},
        {2, 5, 255, 0x000000, 5, L"", 0},        {3, 15, 128, 0x0000FF, 7, L"", 0},
        {4, 10, 255, 0x000000, 5, L"", 0},       {5, 5, 255, 0x000000, 13, L"", 0},
        {6, 5, 255, 0x000000, 13, L"", 0},       {7, 0, 255, 0xFF0000, 20, L"Arial", 20},
        {8, 0, 255, 0x000000, 1, L"", 0}, // out of range: the reset values
    };
    for (const Row& r : rows) {
        CTool t;
        t.SetType(kToolText); // leftovers of another type must not survive
        t.fontStyle = 7;
        t.SetType(r.type);
        EXPECT_EQ(t.type, r.type);
        EXPECT_EQ(t.width, r.width) << r.type;
        EXPECT_EQ(t.alpha, r.alpha) << r.type;
        EXPECT_EQ(t.foreground, r.foreground) << r.type;
        EXPECT_EQ(t.controlMask, r.mask) << r.type;
        EXPECT_EQ(t.fontFamily, r.font) << r.type;
        EXPECT_EQ(t.fontSize, r.fontSize) << r.type;
        EXPECT_EQ(t.fontStyle, 0) << r.type;
        EXPECT_EQ(t.background, 0xFFFFFF) << r.type;
        EXPECT_EQ(t.foregroundNone, 0) << r.type;
        EXPECT_EQ(t.backgroundNone, 1) << r.type;
    }
}

TEST(CanvasMessages, GoldenTexts)
{
    std::string out;
    CMsgHandler::BuildControl({kControlStateRequest, {0, 0, 0, 0}}, out, kCanvasClosed);
    EXPECT_EQ(out, "EVBH:5\r\nCtlCode---:0\r\nCtlCode---:0\r\nCtlCode---:0\r\nCtlCode---:0\r\n");
    EXPECT_EQ(out.size() + 1, 0x41u) << "the packet's length field";

    out.clear();
    CMsgHandler::BuildControl({kControlWhiteboardOpen, {700, 480, 2048, 1536}}, out, kCanvasWhiteboardOwner);
    EXPECT_EQ(out, "CEWB:3\r\nCtlCode---:700\r\nCtlCode---:480\r\nCtlCode---:2048\r\nCtlCode---:1536\r\n");

    CTool pen;
    pen.SetType(kToolPen);
    CanvasShapeRecord shape;
    CMsgHandler::FillShapeRecord(shape, kShapeMove, 684, 415, 10, 20, 30, -4, pen);
    out.clear();
    CMsgHandler::BuildShape(shape, out, kCanvasWhiteboardOwner);
    EXPECT_EQ(out, "MEWB:6\r\nStage-----:0,0,684,415\r\nPoint-----:10,20,30,-4\r\nTty-------:2\r\nWidth-----:5\r\n"
                   "Alpha-----:255\r\nFrgclr----:0\r\nBkgclr----:-1\r\nFontFamily:\r\nFontSize--:0\r\nFontStyle-:0\r\n");
    out.clear();
    CMsgHandler::BuildShape(shape, out, kCanvasAnnotationOwner);
    EXPECT_EQ(out.compare(0, 8, "MEMA:6\r\n"), 0);

    out.clear();
    CMsgHandler::BuildText({kTextFinished, 40, 50, L"line one\r\nline two"}, out, kCanvasAnnotationOwner);
    EXPECT_EQ(out, "TIMA:1\r\nPoint-----:40,50\r\nTextString:line one\r\nline two\r\n");

    // Only owners draw: a viewer's shape or text builds nothing at all.
    for (int kind : {kCanvasClosed, kCanvasWhiteboardViewer, kCanvasAnnotationViewer}) {
        out.clear();
        CMsgHandler::BuildShape(shape, out, kind);
        CMsgHandler::BuildText({kTextFinished, 1, 1, L"x"}, out, kind);
        EXPECT_EQ(out, "") << kind;
    }
}

TEST(CanvasMessages, ReadIntegerLikeThePeersPrintThem)
{
    struct {
        const char* text;
        int value;
    } cases[] = {{"12", 12},          {"-7", -7},          {"+9", 9},   {"  42x", 42},
                 {"3,4", 3},          {"", 0},             {"x5", 0},   {"-", 0},
                 {"2147483647", INT_MAX}, {"2147483648", INT_MAX}, // saturate, never wrap
                 {"-2147483648", INT_MIN}, {"-99999999999999999999", INT_MIN},
                 {"99999999999999999999999", INT_MAX}};
    for (const auto& c : cases)
        EXPECT_EQ(ReadCanvasInt(c.text), c.value) << c.text;
}

TEST(CanvasMessages, ParseShapeRules)
{
    const std::string head = "MEMA:6\r\n";
    struct Case {
        const char* why;
        std::string lines;
        int ok;
        void (*check)(const CanvasShapeRecord&);
    } cases[] = {
        {"Tty 0 is not a drawing tool", "Tty-------:0\r\n", 0, nullptr},
        {"Tty 8 is out of range", "Tty-------:8\r\n", 0, nullptr},
        {"no Tty at all", "Width-----:3\r\n", 0, nullptr},
        {"missing Width keeps the receiver's", "Tty-------:3\r\n", 1,
         [](const CanvasShapeRecord& r) { EXPECT_EQ(r.width, 77); EXPECT_EQ(r.alpha, 99); }},
        {"one comma: x1 only", "Tty-------:2\r\nPoint-----:5,6\r\n", 1,
         [](const CanvasShapeRecord& r) { EXPECT_EQ(r.x1, 5); EXPECT_EQ(r.y1, -3); EXPECT_EQ(r.x2, -3); }},
        {"four values", "Tty-------:2\r\nPoint-----:-1,2,3,4junk\r\n", 1,
         [](const CanvasShapeRecord& r) { EXPECT_EQ(r.x1, -1); EXPECT_EQ(r.y2, 4); }},
        {"negative colour: none flag, colour kept", "Tty-------:5\r\nFrgclr----:-1\r\nBkgclr----:255\r\n", 1,
         [](const CanvasShapeRecord& r) {
             EXPECT_EQ(r.foregroundNone, 1);
             EXPECT_EQ(r.foreground, 0x123456);
             EXPECT_EQ(r.backgroundNone, 0);
             EXPECT_EQ(r.background, 255);
         }},
        {"huge values saturate", "Tty-------:2\r\nWidth-----:99999999999\r\n", 1,
         [](const CanvasShapeRecord& r) { EXPECT_EQ(r.width, INT_MAX); }},
        {"a line after the last line end is not a line", "Tty-------:2\r\nWidth-----:9", 1,
         [](const CanvasShapeRecord& r) { EXPECT_EQ(r.width, 77); }},
        {"a key of the wrong case is ignored", "Tty-------:2\r\nwidth-----:9\r\n", 1,
         [](const CanvasShapeRecord& r) { EXPECT_EQ(r.width, 77); }},
    };
    for (const Case& c : cases) {
        CanvasShapeRecord r;
        r.width = 77;
        r.alpha = 99;
        r.x1 = r.y1 = r.x2 = r.y2 = -3;
        r.foreground = 0x123456;
        r.backgroundNone = 1;
        EXPECT_EQ(CMsgHandler::ParseShape(head + c.lines, r), c.ok) << c.why;
        if (c.check)
            c.check(r);
        if (c.ok) {
            EXPECT_EQ(r.number, 6) << c.why;
        }
    }
}

TEST(CanvasMessages, ParseControlAndTextRules)
{
    CanvasControlRecord control;
    EXPECT_EQ(CMsgHandler::ParseControl("", control), 0);
    EXPECT_EQ(CMsgHandler::ParseControl("CEWB:2\r\nCtlCode---:1\r\nCtlCode---:2\r\nCtlCode---:3\r\n", control), 0)
        << "three codes";
    ASSERT_EQ(CMsgHandler::ParseControl("CEWB:+12abc\r\nCtlCode---:-4\r\nOther------:9\r\nCtlCode---:5\r\n"
                                        "CtlCode---:6\r\nCtlCode---:7\r\nCtlCode---:8\r\n",
                                        control),
              1);
    EXPECT_EQ(control.command, 12) << "sign and trailing text of the header number";
    EXPECT_EQ(control.codes[0], -4);
    EXPECT_EQ(control.codes[3], 7) << "the fifth code is not read";

    struct {
        const char* why;
        std::string message;
        int ok;
        int x, y;
        const wchar_t* text;
    } texts[] = {
        {"empty", "", 0, 0, 0, L""},
        {"one line end", "TIMA:1\r\n", 0, 0, 0, L""},
        // Ends at its second line end: the text's start would lie past the end.
        {"no text line", "TIMA:1\r\nPoint-----:3,4\r\n", 0, 0, 0, L""},
        {"text key cut short", "TIMA:1\r\nPoint-----:3,4\r\nTextSt", 0, 0, 0, L""},
        {"point without comma", "TIMA:1\r\nPoint-----:34\r\nTextString:a\r\n", 0, 0, 0, L""},
        {"plain", "TIMA:0\r\nPoint-----:3,4\r\nTextString:hello\r\n", 1, 3, 4, L"hello"},
        {"empty text", "TIWB:1\r\nPoint-----:3,4\r\nTextString:", 1, 3, 4, L""},
        {"UTF-8 text", "TIWB:1\r\nPoint-----:-3,4\r\nTextString:\xC3\xA9t\xC3\xA9\r\n", 1, -3, 4, L"\u00e9t\u00e9"},
        {"second line not a point: the point stays", "TIWB:1\r\nWhere-----:9,9\r\nTextString:a\r\n", 1, 11, 12, L"a"},
    };
    for (const auto& c : texts) {
        CanvasTextRecord r;
        r.x = 11;
        r.y = 12;
        EXPECT_EQ(CMsgHandler::ParseText(c.message, r), c.ok) << c.why;
        if (c.ok) {
            EXPECT_EQ(r.x, c.x) << c.why;
            EXPECT_EQ(r.y, c.y) << c.why;
            EXPECT_EQ(r.text, c.text) << c.why;
        }
    }
}

TEST(CanvasMessages, BuildThenParseGivesTheSameRecord)
{
    for (int kind : {kCanvasWhiteboardOwner, kCanvasAnnotationOwner}) {
        for (int type = kToolEraser; type <= kToolText; ++type) {
            for (int number : {kShapeSettings, kShapePress, kShapeRelease, kShapeMove}) {
                CTool tool;
                tool.SetType(type);
                tool.fontFamily = L"Courier New";
                tool.fontStyle = kFontBold | kFontUnderline;
                tool.backgroundNone = type == kToolRectangle ? 0 : 1;
                CanvasShapeRecord sent, got;
                CMsgHandler::FillShapeRecord(sent, number, 700, 452, -1000, 7, 2047, -1000, tool);
                std::string text;
                CMsgHandler::BuildShape(sent, text, kind);
                got.foreground = sent.foreground; // a none colour keeps the receiver's
                got.background = sent.background;
                ASSERT_EQ(CMsgHandler::ParseShape(text, got), 1) << text;
                EXPECT_TRUE(got == sent) << text;
            }
        }
        for (int command : {0, 1, 2, 3, 4, 5, 11, 12, 13}) {
            CanvasControlRecord sent{command, {command, -2, 2048, 1536}}, got;
            std::string text;
            CMsgHandler::BuildControl(sent, text, kind);
            ASSERT_EQ(CMsgHandler::ParseControl(text, got), 1);
            EXPECT_TRUE(got == sent) << text;
        }
        for (int number : {kTextPreview, kTextFinished}) {
            for (const wchar_t* words : {L"", L"one", L"two\r\nlines", L"\u65e5\u672c"}) {
                CanvasTextRecord sent{number, 15, -20, words}, got;
                std::string text;
                CMsgHandler::BuildText(sent, text, kind);
                ASSERT_EQ(CMsgHandler::ParseText(text, got), 1) << text;
                EXPECT_TRUE(got == sent) << text;
            }
        }
    }
}

// The longest text the text tool takes still travels in one packet, in the
// widest characters, so no length field wraps.
TEST(CanvasMessages, LongestTextFitsOnePacket)
{
    CanvasTextRecord r{kTextFinished, INT_MIN, INT_MIN, std::wstring(kCanvasTextMaxChars, L'\u20ac')};
    std::string text;
    CMsgHandler::BuildText(r, text, kCanvasAnnotationOwner);
    EXPECT_LE(text.size(), kCanvasMessageMax);
}
