#include "meeting/LobbyCommands.h"

#include "core/control/ControlPacketReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

uint32_t U32At(const ControlPacket& p, size_t at)
{
    return p[at] | p[at + 1] << 8 | p[at + 2] << 16 | static_cast<uint32_t>(p[at + 3]) << 24;
}

// Regression: a button never set holds -1, whose bit 0 is set, so a click on
// it went through, and clearing that bit gave -2 (an image index before the
// table).
TEST(LobbyToolbar, OnlyOddSetValuesAreEnabled)
{
    const std::map<int, bool> cases = {{-1, false}, {-2, false}, {0, false}, {1, true}, {2, false}, {3, true}};
    for (auto [value, enabled] : cases)
        EXPECT_EQ(ToolbarButtonEnabled(value), enabled) << value;
}

LobbyView View(int role, int callerRole, uint32_t perm = 0, int meetingState = 2, int sharing = 0)
{
    LobbyView v;
    v.ownSession = "me";
    v.role = role;
    v.callerRole = callerRole;
    v.assistPermission = perm;
    v.meetingState = meetingState;
    v.meetingSharingState = sharing;
    v.hostSession = role == 1 ? "me" : "host";
    v.coordinatorSession = callerRole == 1 ? "me" : "coord";
    return v;
}

TEST(LobbyCommandRules, StartAndEndBelongToTheCoordinatorAndAssistsWithEitherBit)
{
    struct Case {
        const char* why;
        LobbyView v;
        StartEnd want;
    } cases[] = {
        {"coordinator, waiting", View(0, 1, 0, 1), StartEnd::Start},
        {"coordinator, started", View(1, 1, 0, 2), StartEnd::End},
        {"assist with both bits", View(0, 2, 0x101, 1), StartEnd::Start},
        {"assist with 0x100 alone", View(0, 2, 0x100, 2), StartEnd::End},
        {"assist with 0x001 alone", View(0, 2, 0x001, 1), StartEnd::Start},
        {"assist without the bits", View(0, 2, 0xFE, 1), StartEnd::None},
        {"plain host", View(1, 0, 0x101, 2), StartEnd::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StartEndFor(c.v), c.want) << c.why;
}

TEST(LobbyCommandRules, ShareControlAndHostRequestFollowTheRoleAndSharingState)
{
    EXPECT_EQ(ShareFor(View(1, 0, 0, 2, 0)), ShareAction::Start);
    EXPECT_EQ(ShareFor(View(1, 0, 0, 2, 2)), ShareAction::Stop);
    EXPECT_EQ(ShareFor(View(1, 0, 0, 2, 1)), ShareAction::None);  // asked, not yet sharing
    EXPECT_EQ(ShareFor(View(0, 1, 0, 2, 0)), ShareAction::None);  // not the host

    LobbyView p = View(0, 0, 0, 2, 2);
    EXPECT_EQ(ControlButtonFor(p), ControlButton::Request);
    p.controlHeld = true;
    EXPECT_EQ(ControlButtonFor(p), ControlButton::Release);
    p.viewOnly = true;
    EXPECT_EQ(ControlButtonFor(p), ControlButton::None);
    EXPECT_EQ(ControlButtonFor(View(0, 0, 0, 2, 0)), ControlButton::None);
    EXPECT_EQ(ControlButtonFor(View(1, 0, 0, 2, 2)), ControlButton::None);

    EXPECT_TRUE(MayRequestHost(View(0, 0)));
    EXPECT_FALSE(MayRequestHost(View(1, 0)));
    EXPECT_FALSE(MayRequestHost(View(0, 1)));  // the coordinator asks nobody
    LobbyView alone = View(0, 0);
    alone.coordinatorSession.clear();
    EXPECT_FALSE(MayRequestHost(alone));
}

TEST(LobbyCommandRules, QuitCloseAndLeaveCode)
{
    LobbyView lastKeeper = View(1, 1, 0, 2);
    EXPECT_TRUE(QuitNeedsConfirmation(lastKeeper));
    lastKeeper.assistPresent = true;
    EXPECT_FALSE(QuitNeedsConfirmation(lastKeeper));
    EXPECT_FALSE(QuitNeedsConfirmation(View(1, 1, 0, 1)));  // not started
    EXPECT_FALSE(QuitNeedsConfirmation(View(0, 1, 0, 2)));  // not hosting
    EXPECT_FALSE(QuitNeedsConfirmation(View(1, 0, 0, 2)));

    EXPECT_EQ(LeaveCode(View(1, 0)), 0x102u);
    EXPECT_EQ(LeaveCode(View(0, 1)), 0x101u);

    EXPECT_EQ(CloseFor(View(1, 1, 0, 2, 2)), CloseAction::Undock);
    EXPECT_EQ(CloseFor(View(0, 0, 0, 2, 2)), CloseAction::Undock);
    EXPECT_EQ(CloseFor(View(1, 1, 0, 2, 0)), CloseAction::AskEndOrQuit);
    EXPECT_EQ(CloseFor(View(1, 1, 0, 2, 1)), CloseAction::Quit);
    EXPECT_EQ(CloseFor(View(0, 2, 0x101, 2, 0)), CloseAction::Quit);
}

TEST(LobbyCommandRules, SetHostKickAndReschedule)
{
    LobbyTarget t;
    t.session = "p1";
    LobbyTarget host = t;
    host.role = 1;
    LobbyTarget self = t;
    self.session = "me";
    struct Case {
        const char* why;
        LobbyView v;
        LobbyTarget t;
        bool asked;
        SetHost want;
    } cases[] = {
        {"already host", View(0, 1, 0, 2, 0), host, true, SetHost::None},
        {"asked to become host", View(1, 1, 0, 2, 2), t, true, SetHost::AcceptRequest},
        {"the user himself", View(0, 1, 0, 2, 2), self, false, SetHost::AcceptRequest},
        {"nobody shares", View(1, 1, 0, 2, 0), t, false, SetHost::SetDirectly},
        {"the host shares", View(1, 1, 0, 2, 2), t, false, SetHost::AskHost},
        {"sharing starts", View(1, 1, 0, 2, 1), t, false, SetHost::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SetHostFor(c.v, c.t, c.asked), c.want) << c.why;
    LobbyView noHost = View(0, 1, 0, 2, 2);
    noHost.hostSession.clear();
    EXPECT_EQ(SetHostFor(noHost, t, false), SetHost::None);

    // A coordinator kicks others; only the user himself gets the box.
    EXPECT_EQ(KickFor(View(1, 1), t), Kick::Send);
    EXPECT_EQ(KickFor(View(1, 1), self), Kick::RefuseSelf);

    EXPECT_EQ(RescheduleOutcomeFor(1, 0, -5), RescheduleOutcome::Rescheduled);
    EXPECT_EQ(RescheduleOutcomeFor(0, 0, -1), RescheduleOutcome::EndExpired);
    EXPECT_EQ(RescheduleOutcomeFor(0, 0, 0), RescheduleOutcome::Failed);
    EXPECT_EQ(RescheduleOutcomeFor(0, 1, 100), RescheduleOutcome::Quiet);
}

TEST(LobbyAssistDialog, PresetsSetInvertAndClearTheSevenBoxes)
{
    EXPECT_EQ(ApplyAssistPreset(AssistPreset::All, 0), 0x1FBu);
    EXPECT_EQ(ApplyAssistPreset(AssistPreset::None, 0x1FB), 0u);
    EXPECT_EQ(ApplyAssistPreset(AssistPreset::Inverse, 0x02 | 0x20), 0x101u | 0x08 | 0x10 | 0x40 | 0x80);
    EXPECT_EQ(ApplyAssistPreset(AssistPreset::Inverse, 0x100), 0xFAu);  // one start/end bit is the box
    EXPECT_EQ(ApplyAssistPreset(AssistPreset::Inverse, 0x04), 0x1FBu);  // the hidden box's bit is no box
    EXPECT_EQ(EndMeetingDialogFor(L"jpn"), 298);
    EXPECT_EQ(EndMeetingDialogFor(L"eng"), 227);
    EXPECT_EQ(EndMeetingDialogFor(L""), 227);
}

TEST(LobbyPackets, EachCommandSendsItsBytes)
{
    LobbyTarget t;
    t.session = "sessB";
    t.role = 0;
    t.callerRole = 0;
    ControlPacket a = AssistPacket(t, 2, 0x1FB);
    ASSERT_EQ(a.size(), 4u + 140);
    EXPECT_EQ((std::vector<uint8_t>(a.begin(), a.begin() + 4)), (std::vector<uint8_t>{4, 0, 0, 0x8C}));
    EXPECT_EQ(ReadNameField(a.data() + 4, 140, 0), "sessB");
    EXPECT_EQ(U32At(a, 4 + 128), 0u);
    EXPECT_EQ(U32At(a, 4 + 132), 2u);
    EXPECT_EQ(U32At(a, 4 + 136), 0x1FBu);

    t.callerRole = 2;
    ControlPacket unset = AssistPacket(t, 0, 0);
    EXPECT_EQ(U32At(unset, 4 + 128), 2u);
    EXPECT_EQ(U32At(unset, 4 + 132), 0u);

    ControlPacket share = SharingRequestPacket("sessA", 0, 1);
    ASSERT_EQ(share.size(), 4u + 136);
    EXPECT_EQ((std::vector<uint8_t>(share.begin(), share.begin() + 4)), (std::vector<uint8_t>{5, 0, 0, 0x88}));
    EXPECT_EQ(U32At(share, 4 + 128), 0u);
    EXPECT_EQ(U32At(share, 4 + 132), 1u);

    EXPECT_EQ(MeetingPacket(true), (ControlPacket{9, 0, 0, 0}));
    EXPECT_EQ(MeetingPacket(false), (ControlPacket{10, 0, 0, 0}));
    ControlPacket kick = KickPacket("sessB");
    EXPECT_EQ(kick.size(), 4u + 128);
    EXPECT_EQ(kick[0], 6);
    EXPECT_EQ(U32At(ViewOnlyPacket("sessB", true), 4 + 128), 0u);
    EXPECT_EQ(U32At(ViewOnlyPacket("sessB", false), 4 + 128), 1u);
    t.role = 0;
    ControlPacket host = SetHostPacket(t);
    EXPECT_EQ(host[0], 3);
    EXPECT_EQ(U32At(host, 4 + 128), 0u);
    EXPECT_EQ(U32At(host, 4 + 132), 1u);
}

std::string Repeat(const char* s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// Regression: the name was cut at byte 128 wherever that fell, so a name of
// multi-byte characters arrived with half a character at its end.
TEST(LobbyPackets, RenameFillsTheFieldAndCutsOnlyAtACharacterEnd)
{
    struct Case {
        const char* why;
        std::string name;
        std::string sent;
    } cases[] = {
        {"128 bytes go whole", std::string(128, 'n'), std::string(128, 'n')},
        {"64 two-byte characters are 128 bytes", Repeat("\xC3\xA9", 64), Repeat("\xC3\xA9", 64)},
        {"the 43rd three-byte character would end at 129", Repeat("\xE2\x82\xAC", 43), Repeat("\xE2\x82\xAC", 42)},
        {"a four-byte character across the end", std::string(126, 'x') + "\xF0\x9F\x98\x80",
         std::string(126, 'x')},
        {"127 characters of up to 381 bytes", Repeat("\xE3\x81\x82", 127), Repeat("\xE3\x81\x82", 42)},
        {"short", "Bob", "Bob"},
    };
    for (const Case& c : cases) {
        ControlPacket p = RenamePacket("sessB", c.name);
        ASSERT_EQ(p.size(), 4u + 256) << c.why;
        EXPECT_EQ(ReadNameField(p.data() + 4, 256, 0), "sessB") << c.why;
        std::string field(p.begin() + 4 + 128, p.end());
        EXPECT_EQ(field.substr(0, c.sent.size()), c.sent) << c.why;
        EXPECT_EQ(field.find_first_not_of('\0', c.sent.size()), std::string::npos) << c.why;
    }
}

// Regression: the reply slot was emptied after the packet went, so a reply
// that arrived in between was wiped and a rename that worked said it failed.
TEST(LobbyRename, AReplyArrivingBeforeTheWaitIsKeptAndAnOldOneIsNot)
{
    std::atomic<int> reply{0};
    int pauses = 0;
    auto pause = [&](unsigned ms) {
        EXPECT_EQ(ms, kRenamePollMs);
        ++pauses;
    };
    EXPECT_EQ(RunRename(reply, [&] { return reply = 1, true; }, pause), RenameOutcome::Accepted);
    EXPECT_EQ(pauses, 0);
    EXPECT_EQ(RunRename(reply, [&] { return reply = 2, true; }, pause), RenameOutcome::Taken);
    // The previous rename's reply does not answer this one.
    reply = 1;
    pauses = 0;
    EXPECT_EQ(RunRename(reply, [] { return true; }, pause), RenameOutcome::NoReply);
    EXPECT_EQ(pauses, kRenamePolls);
    // A reply on the tenth poll.
    pauses = 0;
    EXPECT_EQ(RunRename(reply, [] { return true; },
                        [&](unsigned) {
                            if (++pauses == 10)
                                reply = 1;
                        }),
              RenameOutcome::Accepted);
    EXPECT_EQ(RunRename(reply, [] { return false; }, pause), RenameOutcome::NotSent);
}

struct Sent {
    uint8_t type;
    std::string session;
    std::chrono::steady_clock::time_point at;
};

// Regression: the two reject-alls shared one queue, and the second start
// rewrote it under the first one's thread (a crash under ASan, or refusals
// lost and doubled).
TEST(LobbyRejectAll, TwoAtOnceEachSendTheirOwnListTwoHundredMsApart)
{
    std::mutex lock;
    std::vector<Sent> sent;
    {
        RejectAllSender sender([&](uint8_t type, const std::string& s) {
            std::lock_guard<std::mutex> l(lock);
            sent.push_back({type, s, std::chrono::steady_clock::now()});
            return true;
        });
        auto t0 = std::chrono::steady_clock::now();
        std::vector<std::string> control = {"p1", "p2", "p3"};
        ASSERT_TRUE(sender.Start(control, PLP_REJECT_CONTROL));
        control.assign({"changed"});  // the caller's list is not the sender's
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(sender.Start({"h1", "h2"}, PLP_REJECT_HOST));
        ASSERT_TRUE(sender.JoinAll(5000));
        std::vector<std::string> c, h;
        for (const Sent& s : sent)
            (s.type == PLP_REJECT_CONTROL ? c : h).push_back(s.session);
        EXPECT_EQ(c, (std::vector<std::string>{"p1", "p2", "p3"}));
        EXPECT_EQ(h, (std::vector<std::string>{"h1", "h2"}));
        // Each refusal of one list 200 ms after the one before.
        auto last = t0;
        for (const Sent& s : sent)
            if (s.type == PLP_REJECT_CONTROL) {
                EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(s.at - last).count(), 190);
                last = s.at;
            }
    }
    // The owner going away stops a sender in its pause.
    sent.clear();
    auto t0 = std::chrono::steady_clock::now();
    {
        RejectAllSender sender([&](uint8_t type, const std::string& s) {
            std::lock_guard<std::mutex> l(lock);
            sent.push_back({type, s, std::chrono::steady_clock::now()});
            return true;
        });
        sender.Start({"a", "b", "c", "d", "e"}, PLP_REJECT_CONTROL);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(600));
    EXPECT_EQ(sent.size(), 1u);
}

} // namespace
