#include "core/control/HostHandover.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A meeting whose appliance applies sharing and host packets after a number
// of refreshes, as the participant list would show them.
struct FakeMeeting : HandoverEnv {
    std::string host = "old";
    uint32_t sharing = 2;
    int applyAfter = 2;     // refreshes until a sent change shows
    bool ignoreEnd = false; // the share never ends
    bool ready = true;
    bool cancelled = false;
    int canvasesClosed = 0;
    struct Sent { uint8_t type; std::string name; uint32_t a, b; };
    std::vector<Sent> sent;
    std::vector<std::pair<int, Sent>> pending;

    std::string OwnSessionId() override { return "me"; }
    std::string CurrentHost() override { return host; }
    uint32_t SharingState() override { return sharing; }
    void RefreshParticipants() override
    {
        for (auto it = pending.begin(); it != pending.end();) {
            if (--it->first > 0) {
                ++it;
                continue;
            }
            if (it->second.type == PLP_SET_HOST)
                host = it->second.name;
            else if (!ignoreEnd || it->second.b != 4)
                sharing = it->second.b == 4 ? 0 : it->second.b;
            it = pending.erase(it);
        }
    }
    bool AllParticipantsReady() override { return ready; }
    void CloseCanvases() override { ++canvasesClosed; }
    bool Send(const ControlPacket& p) override
    {
        Sent s{p[0], ReadNameField(p.data() + 4, p.size() - 4, 0), 0, 0};
        s.a = p[132] | p[133] << 8;
        s.b = p[136] | p[137] << 8;
        sent.push_back(s);
        pending.emplace_back(applyAfter, s);
        return true;
    }
    void Pause(uint32_t) override {}
    bool Cancelled() override { return cancelled; }
};

TEST(HostHandover, EndsTheShareThenNamesTheHostThenAsksItToShare)
{
    FakeMeeting m;
    EXPECT_TRUE(RunHostHandover(m, "new"));
    ASSERT_EQ(m.sent.size(), 3u);
    EXPECT_EQ(m.sent[0].type, PLP_SHARING_REQUEST);
    EXPECT_EQ(m.sent[0].name, "old");
    EXPECT_EQ(m.sent[0].a, 2u);
    EXPECT_EQ(m.sent[0].b, 4u);
    EXPECT_EQ(m.sent[1].type, PLP_SET_HOST);
    EXPECT_EQ(m.sent[1].name, "new");
    EXPECT_EQ(m.sent[1].b, 1u);
    EXPECT_EQ(m.sent[2].type, PLP_SHARING_REQUEST);
    EXPECT_EQ(m.sent[2].name, "new");
    EXPECT_EQ(m.sent[2].b, 1u);
}

TEST(HostHandover, ShareThatWillNotEndIsForcedOffAndAHostThatNeverChangesStops)
{
    FakeMeeting m;
    m.ignoreEnd = true;
    m.applyAfter = 100; // nothing shows in time
    EXPECT_FALSE(RunHostHandover(m, "new"));
    ASSERT_EQ(m.sent.size(), 3u);
    EXPECT_EQ(m.sent[1].type, PLP_SHARING_REQUEST);
    EXPECT_EQ(m.sent[1].b, 0u);
    EXPECT_EQ(m.sent[2].type, PLP_SET_HOST);
}

TEST(HostHandover, WithoutShareOnlyTheHostIsSet)
{
    FakeMeeting m;
    m.sharing = 0;
    EXPECT_TRUE(RunHostHandover(m, "new"));
    EXPECT_EQ(m.sent[0].type, PLP_SET_HOST);
    m.cancelled = true;
    m.sent.clear();
    EXPECT_FALSE(RunHostHandover(m, "other"));
    EXPECT_TRUE(m.sent.empty());
}

TEST(SharingRequest, WaitsForTheEndOfTheShareFirst)
{
    FakeMeeting m;
    m.applyAfter = 1; // the ready wait's one refresh shows the end
    RunSharingRequest(m, "p1");
    ASSERT_EQ(m.sent.size(), 2u);
    EXPECT_EQ(m.sent[0].type, PLP_SHARING_REQUEST);
    EXPECT_EQ(m.sent[1].type, PLP_SET_HOST);
    EXPECT_EQ(m.sent[1].a, 1u);
    EXPECT_EQ(m.canvasesClosed, 1);

    FakeMeeting idle;
    idle.sharing = 0;
    RunSharingRequest(idle, "p1");
    ASSERT_EQ(idle.sent.size(), 1u);
    EXPECT_EQ(idle.sent[0].type, PLP_SET_HOST);
}

TEST(ReadyWait, AsksTheApplianceToEndTheShareWhenNobodyGetsReady)
{
    FakeMeeting m;
    m.ready = false;
    m.sharing = 2;
    EXPECT_FALSE(RunReadyWait(m));
    ASSERT_EQ(m.sent.size(), 1u);
    EXPECT_EQ(m.sent[0].name, "me");
    EXPECT_EQ(m.sent[0].a, 2u);
    EXPECT_EQ(m.sent[0].b, 0u);
}

} // namespace
