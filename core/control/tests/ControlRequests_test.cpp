#include "core/control/ControlPacketReader.h"
#include "core/control/ControlRequests.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct FakeHost : ControlRequestsHost {
    std::vector<ControlPacket> sent;
    std::vector<std::pair<RequestNotice, std::string>> balloons;
    std::vector<RequestNotice> logged;
    std::vector<std::string> prompts, handovers;
    std::vector<bool> watch;
    std::set<std::string> present{"host", "p1", "p2", "coord"};
    int refreshes = 0, hides = 0;

    bool sendWorks = true;
    bool SendPacket(const ControlPacket& p) override
    {
        if (sendWorks)
            sent.push_back(p);
        return sendWorks;
    }
    std::string ParticipantName(const std::string& s) override { return present.count(s) ? "Name-" + s : ""; }
    bool HasParticipant(const std::string& s) override { return present.count(s) > 0; }
    void Notify(RequestNotice n, const std::string& name, bool balloon) override
    {
        logged.push_back(n);
        if (balloon)
            balloons.emplace_back(n, name);
    }
    void RefreshLobbyList() override { ++refreshes; }
    void SetInputWatch(bool on) override { watch.push_back(on); }
    void HideForControlHolder() override { ++hides; }
    void StartHostInvitationPrompt(const std::string& c) override { prompts.push_back(c); }
    void StartHostHandover(const std::string& s) override { handovers.push_back(s); }
};

struct Decoded {
    uint8_t type;
    std::string first, second;
};

Decoded Decode(const ControlPacket& p)
{
    size_t n = p.size() - 4;
    return {p[0], ReadNameField(p.data() + 4, n, 0), ReadNameField(p.data() + 4, n, 128)};
}

MeetingRoles Roles(const char* own, uint32_t role, uint32_t title, uint32_t sharing = 0)
{
    MeetingRoles r;
    r.ownSessionId = own;
    r.role = role;
    r.title = title;
    r.serverSharingState = sharing;
    return r;
}

TEST(ControlRequests, HostCollectsControlRequestsOnce)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("host", 1, 1));
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p1", "host");
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p1", "host");
    EXPECT_EQ(m.PendingControl(), std::vector<std::string>{"p1"});
    ASSERT_EQ(h.balloons.size(), 1u);
    EXPECT_EQ(h.balloons[0].first, RequestNotice::ControlRequested);
    EXPECT_EQ(h.balloons[0].second, "Name-p1");
}

TEST(ControlRequests, GiveTakeBackAndHandOnControl)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("host", 1, 1));
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p1", "host");
    m.AcceptControlRequest("p1");
    ASSERT_EQ(h.sent.size(), 1u);
    Decoded d = Decode(h.sent[0]);
    EXPECT_EQ(d.type, PLP_RELEASE_CONTROL);
    EXPECT_EQ(d.first, "host");
    EXPECT_EQ(d.second, "p1");
    EXPECT_EQ(m.ControlHolder(), "p1");
    EXPECT_EQ(m.StateBits() & 2u, 2u);
    EXPECT_TRUE(m.PendingControl().empty());
    EXPECT_EQ(h.watch, std::vector<bool>{true});
    EXPECT_EQ(h.hides, 1);

    // Handing control on to p2 takes it back from p1 first.
    m.AcceptControlRequest("p2");
    ASSERT_EQ(h.sent.size(), 3u);
    d = Decode(h.sent[1]);
    EXPECT_EQ(d.type, PLP_REQUEST_CONTROL);
    EXPECT_EQ(d.second, "p1");
    d = Decode(h.sent[2]);
    EXPECT_EQ(d.type, PLP_RELEASE_CONTROL);
    EXPECT_EQ(d.second, "p2");
    EXPECT_EQ(m.ControlHolder(), "p2");

    // Taking it back for the host itself sends only the take-back.
    m.AcceptControlRequest("host");
    ASSERT_EQ(h.sent.size(), 4u);
    EXPECT_EQ(Decode(h.sent[3]).type, PLP_REQUEST_CONTROL);
    EXPECT_EQ(Decode(h.sent[3]).second, "p2");
    EXPECT_TRUE(m.ControlHolder().empty());
    EXPECT_EQ(h.watch.back(), false);
}

// Regression: a grant whose packet never left was recorded all the same, so
// the host showed a holder that had no control. Each step that did not go
// out leaves the state as it was and says so.
TEST(ControlRequests, NothingIsRecordedForAPacketThatDidNotGoOut)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("host", 1, 1));
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p1", "host");
    h.sendWorks = false;
    EXPECT_FALSE(m.AcceptControlRequest("p1"));
    EXPECT_TRUE(m.ControlHolder().empty());
    EXPECT_EQ(m.StateBits(), 0u);
    EXPECT_EQ(m.PendingControl(), std::vector<std::string>{"p1"});
    EXPECT_TRUE(h.watch.empty());
    EXPECT_EQ(h.hides, 0);

    // Given for real; then neither the hand-on nor the take-back goes out:
    // p1 still holds control.
    h.sendWorks = true;
    ASSERT_TRUE(m.AcceptControlRequest("p1"));
    h.sendWorks = false;
    for (const char* next : {"p2", "host"}) {
        EXPECT_FALSE(m.AcceptControlRequest(next)) << next;
        EXPECT_EQ(m.ControlHolder(), "p1") << next;
        EXPECT_EQ(m.StateBits() & 2u, 2u) << next;
        EXPECT_EQ(h.watch.back(), true) << next;
    }

    // A host grant that did not go out keeps the request.
    m.SetRoles(Roles("host", 1, 1, 0));
    m.OnHostRequest(PLP_REQUEST_HOST, "p2", "host");
    EXPECT_EQ(m.AcceptHostRequest("p2"), 0);
    EXPECT_EQ(m.PendingHost(), std::vector<std::string>{"p2"});
    EXPECT_FALSE(m.AnswerHostInvitation("coord", true));
}

TEST(ControlRequests, ParticipantGetsAndGivesBackControl)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("p1", 0, 0));
    m.OnControlRequest(PLP_RELEASE_CONTROL, "host", "p1");
    EXPECT_TRUE(m.ControlHeld());
    m.OnControlRequest(PLP_REQUEST_CONTROL, "host", "p1");
    EXPECT_FALSE(m.ControlHeld());
    ASSERT_EQ(h.sent.size(), 1u);
    Decoded d = Decode(h.sent[0]);
    EXPECT_EQ(d.type, PLP_RELEASE_CONTROL);
    EXPECT_EQ(d.first, "p1");
    EXPECT_EQ(d.second, "host");
    // A participant never installs the host's local-input watch.
    EXPECT_TRUE(h.watch.empty());
    ASSERT_EQ(h.balloons.size(), 2u);
    EXPECT_EQ(h.balloons[0].first, RequestNotice::ControlGiven);
    EXPECT_EQ(h.balloons[1].first, RequestNotice::ControlTakenBack);

    // Given again, then released by the participant's own button.
    m.OnControlRequest(PLP_RELEASE_CONTROL, "host", "p1");
    ASSERT_TRUE(m.ControlHeld());
    h.sendWorks = false;
    EXPECT_FALSE(m.ReleaseOwnControl("host"));
    EXPECT_FALSE(m.ControlHeld());  // released here even when the host did not hear it
    h.sendWorks = true;
    m.OnControlRequest(PLP_RELEASE_CONTROL, "host", "p1");
    EXPECT_TRUE(m.ReleaseOwnControl("host"));
    EXPECT_FALSE(m.ControlHeld());
    d = Decode(h.sent.back());
    EXPECT_EQ(d.type, PLP_RELEASE_CONTROL);
    EXPECT_EQ(d.first, "p1");
    EXPECT_EQ(d.second, "host");
    EXPECT_TRUE(h.watch.empty());
}

TEST(ControlRequests, HostHearsControlComeBack)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("host", 1, 1));
    m.AcceptControlRequest("p1");
    m.OnControlRequest(PLP_RELEASE_CONTROL, "p1", "host");
    EXPECT_TRUE(m.ControlHolder().empty());
    ASSERT_FALSE(h.balloons.empty());
    EXPECT_EQ(h.balloons.back().first, RequestNotice::ControlReleased);
    EXPECT_EQ(h.balloons.back().second, "Name-p1");
}

TEST(ControlRequests, HostRequestsReachCoordinatorsOnly)
{
    FakeHost h;
    ControlRequests coordinator(h);
    coordinator.SetRoles(Roles("coord", 0, 1));
    coordinator.OnHostRequest(PLP_REQUEST_HOST, "p1", "coord");
    coordinator.OnHostRequest(PLP_REQUEST_HOST, "p1", "coord");
    EXPECT_EQ(coordinator.PendingHost(), std::vector<std::string>{"p1"});
    EXPECT_EQ(h.balloons.size(), 1u);

    FakeHost h2;
    ControlRequests plain(h2);
    plain.SetRoles(Roles("p2", 0, 0));
    plain.OnHostRequest(PLP_REQUEST_HOST, "p1", "p2");
    EXPECT_TRUE(plain.PendingHost().empty());

    MeetingRoles assistant = Roles("p2", 0, 2);
    assistant.assistPermission = 2;
    plain.SetRoles(assistant);
    plain.OnHostRequest(PLP_REQUEST_HOST, "p1", "p2");
    EXPECT_EQ(plain.PendingHost(), std::vector<std::string>{"p1"});
    EXPECT_TRUE(h2.balloons.empty()); // an assistant is not interrupted
}

TEST(ControlRequests, RejectionShownOnlyToItsTarget)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("p1", 0, 0));
    m.RequestHost("coord");
    EXPECT_TRUE(m.OwnHostRequest());
    m.OnHostRequest(PLP_REJECT_HOST, "coord", "p2");
    EXPECT_TRUE(h.balloons.empty());
    m.OnHostRequest(PLP_REJECT_HOST, "coord", "p1");
    ASSERT_EQ(h.balloons.size(), 1u);
    EXPECT_EQ(h.balloons[0].first, RequestNotice::HostRequestRejected);
    EXPECT_EQ(h.balloons[0].second, "Name-coord");
}

TEST(ControlRequests, InvitationIsPromptedOrAnsweredAtOnce)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("p1", 0, 0));
    m.OnHostInvitation(PLP_ASK_HOST, "coord", "p1");
    EXPECT_EQ(h.prompts, std::vector<std::string>{"coord"});
    EXPECT_TRUE(h.sent.empty());
    m.AnswerHostInvitation("coord", false);
    ASSERT_EQ(h.sent.size(), 1u);
    EXPECT_EQ(Decode(h.sent[0]).type, PLP_HOST_DECLINE);
    EXPECT_EQ(Decode(h.sent[0]).second, "coord");

    m.RequestHost("coord");
    m.OnHostInvitation(PLP_ASK_HOST, "coord", "p1");
    EXPECT_EQ(h.prompts.size(), 1u);
    Decoded d = Decode(h.sent.back());
    EXPECT_EQ(d.type, PLP_HOST_ACCEPT);
    EXPECT_EQ(d.first, "p1");
    EXPECT_EQ(d.second, "coord");
}

TEST(ControlRequests, CoordinatorAcceptsBySharingState)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("coord", 1, 1, 0));
    m.OnHostRequest(PLP_REQUEST_HOST, "p1", "coord");
    EXPECT_EQ(m.AcceptHostRequest("p1"), 1);
    ASSERT_EQ(h.sent.size(), 1u);
    EXPECT_EQ(h.sent[0][0], PLP_SET_HOST);
    EXPECT_EQ(ReadNameField(h.sent[0].data() + 4, 136, 0), "p1");
    EXPECT_EQ(h.sent[0][136], 1); // value2 = 1
    EXPECT_TRUE(m.PendingHost().empty());

    m.SetRoles(Roles("coord", 1, 1, 2));
    EXPECT_EQ(m.AcceptHostRequest("p2"), 1);
    EXPECT_EQ(h.handovers, std::vector<std::string>{"p2"});
    EXPECT_EQ(h.sent.size(), 1u);

    m.SetRoles(Roles("coord", 1, 1, 1));
    EXPECT_EQ(m.AcceptHostRequest("p2"), 0);
    EXPECT_EQ(m.AcceptHostRequest(""), 0);

    m.OnHostInvitation(PLP_HOST_ACCEPT, "p1", "coord");
    EXPECT_EQ(h.handovers.back(), "p1");
    m.OnHostInvitation(PLP_HOST_DECLINE, "p2", "coord");
    EXPECT_EQ(h.balloons.back().first, RequestNotice::HostInviteDeclined);
}

TEST(ControlRequests, LeaversDropOutOfBothLists)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("host", 1, 1));
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p1", "host");
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p2", "host");
    m.OnHostRequest(PLP_REQUEST_HOST, "p1", "host");
    h.present.erase("p1");
    m.SyncRequestLists();
    EXPECT_EQ(m.PendingControl(), std::vector<std::string>{"p2"});
    EXPECT_TRUE(m.PendingHost().empty());
}

} // namespace

namespace {

// The end of sharing ends control, but a pending host request stays.
TEST(ControlRequests, EndOfSharingClearsControlOnly)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("host", 1, 1));
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p1", "host");
    m.OnControlRequest(PLP_REQUEST_CONTROL, "p2", "host");
    m.AcceptControlRequest("p1");
    m.OnHostRequest(PLP_REQUEST_HOST, "p2", "host");
    m.EndSharing();
    EXPECT_TRUE(m.PendingControl().empty());
    EXPECT_TRUE(m.ControlHolder().empty());
    EXPECT_EQ(m.StateBits(), 0u);
    EXPECT_EQ(m.PendingHost(), std::vector<std::string>{"p2"});
}

} // namespace

namespace {

// Regression: when control went on from p1 to p2, p1's answer to the
// take-back (a release naming p1) arrived later and cleared p2 as holder,
// removed the host's input watch and showed p2 as having released control.
TEST(ControlRequests, LateHandBackOfAnEarlierHolderKeepsTheCurrentOne)
{
    FakeHost h;
    ControlRequests m(h);
    m.SetRoles(Roles("host", 1, 1));
    m.AcceptControlRequest("p1");
    m.AcceptControlRequest("p2");
    size_t watchCalls = h.watch.size();
    m.OnControlRequest(PLP_RELEASE_CONTROL, "p1", "host");
    EXPECT_EQ(m.ControlHolder(), "p2");
    EXPECT_EQ(m.StateBits() & 2u, 2u);
    EXPECT_EQ(h.watch.size(), watchCalls);
    ASSERT_FALSE(h.balloons.empty());
    EXPECT_EQ(h.balloons.back().first, RequestNotice::ControlReleased);
    EXPECT_EQ(h.balloons.back().second, "Name-p1");

    // p2's own release still ends its control.
    m.OnControlRequest(PLP_RELEASE_CONTROL, "p2", "host");
    EXPECT_TRUE(m.ControlHolder().empty());
    EXPECT_EQ(m.StateBits() & 2u, 0u);
    EXPECT_EQ(h.balloons.back().second, "Name-p2");
}

} // namespace
