// The viewer-message reader: every message type, cut short at every byte,
// and the limits that end a session.
#include "rfb/RfbProto.h"
#include "Customer/session/ViewerMessages.h"
#include "Customer/session/tests/MemoryReader.h"
#include "rfb/tests/TestFormats.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::vector<uint8_t> kAllMessages = {
    0,  0, 0, 0, 16, 16, 1, 1, 0, 31, 0, 63, 0, 31, 11, 5, 0, 1, 0, 0,  // SetPixelFormat, grey
    2,  0, 0, 2, 0, 0, 0, 16, 0xFF, 0xFF, 0xFF, 0x20,                  // SetEncodings 16, -224
    3,  1, 0, 1, 0, 2, 0, 3, 0, 4,                                     // update request
    4,  1, 0, 0, 0, 0, 0xFF, 0x0D,                                     // key
    5,  9, 1, 0, 0, 7,                                                 // pointer
    6,  0, 0, 0, 0, 0, 0, 4, 'a', 0, 'b', 'c',                         // cut text with a NUL
    8,  2, 0, 0,                                                       // scale
    9,  1, 0, 0,                                                       // blank
    10, 0, 0, 6, 0, 6,                                                 // rfbSetSW
    13, 0, 0, 0, 0, 0, 0, 0,                                           // disconnect
    15, 3, 0, 0,                                                       // scale, full-size reply
    74, 5,                                                             // start request
    93, 94,                                                            // cursor position on/off
};

TEST(ViewerMessages, ReadsEveryType)
{
    MemoryReader in(kAllMessages.data(), kAllMessages.size());
    ViewerMessageReader reader(in);
    std::vector<ViewerMessage> msgs;
    ViewerMessage m;
    while (reader.Read(m) == ReadStatus::Ok)
        msgs.push_back(m);
    ASSERT_EQ(msgs.size(), 14u);
    EXPECT_EQ(msgs[0].format.bitsPerPixel, 16);
    EXPECT_TRUE(msgs[0].format.bigEndian);
    EXPECT_EQ(msgs[0].format.greenMax, 63);
    EXPECT_TRUE(msgs[0].grey);
    EXPECT_EQ(msgs[1].encodings, (std::vector<int32_t>{16, -224}));
    EXPECT_TRUE(msgs[2].incremental);
    EXPECT_EQ(msgs[2].w, 3);
    EXPECT_EQ(msgs[3].keysym, 0xFF0Du);
    EXPECT_EQ(msgs[4].buttonMask, 9);
    EXPECT_EQ(msgs[4].x, 256);
    EXPECT_EQ(msgs[5].text, "a");
    EXPECT_EQ(msgs[8].x, 6);
    EXPECT_EQ(msgs[11].value, 5);
    EXPECT_EQ(msgs[13].type, 94);
}

// Cut anywhere, the reader yields only the whole messages before the cut.
TEST(ViewerMessages, CutShortAtEveryByte)
{
    std::vector<size_t> ends;
    size_t pos = 0;
    ViewerMessage m;
    for (size_t cut = 0; cut <= kAllMessages.size(); ++cut) {
        MemoryReader in(kAllMessages.data(), cut);
        ViewerMessageReader reader(in);
        size_t ok = 0;
        while (reader.Read(m) == ReadStatus::Ok)
            ++ok;
        if (ok > ends.size())
            ends.push_back(cut);
        EXPECT_EQ(ok, ends.size()) << "cut " << cut;
        pos = cut;
    }
    EXPECT_EQ(pos, kAllMessages.size());
    EXPECT_EQ(ends.size(), 14u);
}

TEST(ViewerMessages, UnknownTypesAndHugeTextEndTheStream)
{
    for (int type : {1, 7, 11, 12, 14, 16, 50, 73, 75, 92, 95, 255}) {
        const uint8_t b[4] = {static_cast<uint8_t>(type), 0, 0, 0};
        MemoryReader in(b, sizeof b);
        ViewerMessage m;
        EXPECT_EQ(ViewerMessageReader(in).Read(m), ReadStatus::UnknownType) << type;
    }
    const uint8_t huge[] = {6, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'x'};
    MemoryReader in(huge, sizeof huge);
    ViewerMessage m;
    EXPECT_EQ(ViewerMessageReader(in).Read(m), ReadStatus::TooLong);
    EXPECT_TRUE(m.text.empty());
}

TEST(ViewerMessages, PixelFormatRoundTrip)
{
    const rfb::PixelFormat pf = testformats::Make(32, 24, true, true, 1023, 255, 7, 20, 8, 1);
    uint8_t b[16];
    SerialisePixelFormat(pf, b);
    bool grey = true;
    EXPECT_TRUE(ParsePixelFormat(b, &grey).equals(pf));
    EXPECT_FALSE(grey);
}

} // namespace
