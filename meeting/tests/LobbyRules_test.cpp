#include "meeting/LobbyRules.h"

#include "core/base/ThreadMessages.h"
#include "meeting/LobbyResources.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

LobbyParticipant P(const char* session, const wchar_t* name, int role, int callerRole, int state = 1,
                   bool viewOnly = false, int assist = 0)
{
    return {session, name, role, callerRole, state, viewOnly, assist};
}

// --- rows -------------------------------------------------------------------

TEST(LobbyRows, OwnRowFirstThenListOrderWithMarksNamesAndIcons)
{
    const std::vector<LobbyParticipant> list = {P("h", L"Hank", 1, 1), P("a", L"Ann", 0, 0),
                                                P("me", L"Me", 0, 2), P("v", L"Vic", 0, 0, 1, true)};
    struct Case {
        const char* what;
        RowInputs in;
        // per row in shown order: session, mark, name form, icons
        std::vector<std::tuple<std::string, int, RowName, std::vector<int>>> rows;
    };
    const Case cases[] = {
        {"nothing pending, not sharing",
         {"me", 0, false, false, false, {}, {}},
         {{"me", kMarkOwn, RowName::Plain, {}},
          {"h", kMarkNone, RowName::Plain, {}},
          {"a", kMarkNone, RowName::Plain, {}},
          {"v", kMarkNone, RowName::Plain, {}}}},
        {"host shares, voice on, own holds control",
         {"me", 2, true, true, false, {}, {}},
         {{"me", kMarkOwn, RowName::Controlling, {}},
          {"h", kMarkVoice, RowName::Sharing, {2}},
          {"a", kMarkNone, RowName::Plain, {}},
          {"v", kMarkNone, RowName::Plain, {}}}},
        {"requests: one of each, the own row in both lists",
         {"me", 2, true, false, false, {"a", "me"}, {"v", "me"}},
         {{"me", kMarkBothRequests, RowName::Plain, {0, 1}},
          {"h", kMarkNone, RowName::Sharing, {}},
          {"a", kMarkControlRequest, RowName::Plain, {0}},
          {"v", kMarkHostRequest, RowName::Plain, {1}}}},
        {"the host asks too: its mark hides the sharing form",
         {"me", 2, false, false, false, {"h"}, {}},
         {{"me", kMarkOwn, RowName::Plain, {}},
          {"h", kMarkControlRequest, RowName::Plain, {0}},
          {"a", kMarkNone, RowName::Plain, {}},
          {"v", kMarkNone, RowName::Plain, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<LobbyRow> rows = BuildLobbyRows(list, c.in);
        ASSERT_EQ(rows.size(), c.rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].session, std::get<0>(c.rows[i])) << i;
            EXPECT_EQ(rows[i].mark, std::get<1>(c.rows[i])) << i;
            EXPECT_EQ(rows[i].nameForm, std::get<2>(c.rows[i])) << i;
            EXPECT_EQ(rows[i].icons, std::get<3>(c.rows[i])) << i;
            EXPECT_EQ(rows[i].bold, rows[i].mark == kMarkOwn) << i;
        }
    }
}

TEST(LobbyRows, RoleFlagsAndFilesOnTheHostRowOnly)
{
    const std::vector<LobbyParticipant> list = {P("h", L"Hank", 1, 1), P("v", L"Vic", 0, 2, 3, true)};
    const std::vector<LobbyRow> rows = BuildLobbyRows(list, {"v", 0, false, false, true, {}, {}});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].session, "v");
    EXPECT_TRUE(rows[0].assist && rows[0].viewOnly && !rows[0].sharingFiles);
    EXPECT_EQ(rows[0].state, 3);
    EXPECT_TRUE(rows[1].coordinator && rows[1].sharingFiles);
    EXPECT_EQ(rows[1].plainName, L"Hank");
}

// --- toolbar ----------------------------------------------------------------

TEST(LobbyToolbar, ButtonValuesByRoleAndState)
{
    // Values of 2500 .. 2510.
    struct Case {
        const char* what;
        ToolbarInputs in;
        ToolbarValues want;
    };
    const Case cases[] = {
        {"coordinator host, waiting meeting, no device",
         {1, 1, 0, 1, 0, false, false, false, false, false},
         {1, 1, 1, 1, 0, 1, 0, 0, 1, 0, 1}},
        {"coordinator host, started, not sharing, device",
         {1, 1, 0, 2, 0, false, false, true, false, false},
         {3, 1, 1, 1, 1, 1, 1, 0, 0, 0, 1}},
        {"coordinator host sharing, voice on, poll open",
         {1, 1, 0, 2, 2, true, true, true, false, false},
         {3, 0, 1, 1, 3, 1, 3, 0, 0, 0, 1}},
        {"host asked to share: the share button waits",
         {1, 1, 0, 2, 1, false, false, false, false, false},
         {3, 1, 1, 1, 0, 1, 0, 0, 0, 0, 1}},
        {"participant, host sharing",
         {0, 0, 0, 2, 2, false, false, false, false, false},
         {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1}},
        {"participant holding control",
         {0, 0, 0, 2, 2, false, false, false, false, true},
         {0, 0, 0, 1, 0, 0, 0, 3, 0, 1, 1}},
        {"view-only participant: no request, no control",
         {0, 0, 0, 2, 2, false, false, false, true, false},
         {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}},
        {"assist with every bit in a waiting meeting",
         {0, 2, 0x1FF, 1, 0, false, false, false, false, false},
         {1, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1}},
        {"assist with one start/end bit (0x100) in a started meeting",
         {0, 2, 0x100, 2, 0, false, false, false, false, false},
         {3, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1}},
        {"assist may set hosts: no host request",
         {0, 2, kAssistSetHost, 2, 0, false, false, false, false, false},
         {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1}},
        {"coordinator, not host, started",
         {0, 1, 0, 2, 2, false, false, false, false, false},
         {3, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(UpdateToolbarValues(InitialToolbar(), c.in), c.want);
    }
}

// Regression: a button never set started at -1, and clearing its enabled bit
// gave -2, an image index before the first image.
TEST(LobbyToolbar, NeverSetButtonsCountAsZero)
{
    ToolbarValues v = InitialToolbar();
    for (int id = kFirstButton; id < kFirstButton + kButtonCount; ++id) {
        EXPECT_GE(ButtonImage(v, id), 4 * (id - kFirstButton)) << id;
        EXPECT_EQ(ButtonEnabled(v, id), id == kButtonQuit) << id;
    }
    v = UpdateToolbarValues(v, {0, 0, 0, 1, 0, false, false, false, true, false});
    for (int id = kFirstButton; id < kFirstButton + kButtonCount; ++id) {
        EXPECT_GE(Button(v, id), 0) << id;
        EXPECT_EQ(ButtonImage(v, id), 4 * (id - kFirstButton) + Button(v, id)) << id;
    }
    // Looks survive disabling: a stop-sharing button greys as "Stop".
    v = UpdateToolbarValues(InitialToolbar(), {1, 1, 0, 2, 2, false, false, false, false, false});
    EXPECT_EQ(Button(v, IDC_TB_SHARE), 3);
    v = UpdateToolbarValues(v, {1, 1, 0, 2, 4, false, false, false, false, false});
    EXPECT_EQ(Button(v, IDC_TB_SHARE), 2);
    EXPECT_FALSE(ButtonEnabled(v, IDC_TB_SHARE));
}

// --- menu -------------------------------------------------------------------

std::vector<int> Commands(const MenuInputs& in)
{
    std::vector<int> out;
    for (const LobbyMenuItem& i : BuildParticipantMenu(in))
        out.push_back(i.command);
    return out;
}

TEST(LobbyMenu, ItemsByRolesRequestsAndSharing)
{
    const LobbyParticipant ann = P("a", L"Ann", 0, 0), me = P("me", L"Me", 1, 1),
                           vic = P("v", L"Vic", 0, 0, 1, true), asa = P("s", L"Asa", 0, 2, 1, false, 0x10);
    struct Case {
        const char* what;
        MenuInputs in;
        std::vector<int> want;
    };
    const Case cases[] = {
        {"coordinator host, nobody asks, sharing: pass control to anyone",
         {"me", 1, 1, 0, ann, {}, {}, "", 2, false},
         {IDM_P_PASS_CONTROL, IDM_P_SET_HOST, IDM_P_SET_ASSIST, IDM_P_SET_VIEW_ONLY, IDM_P_KICK}},
        {"someone else asks: nothing to pass to Ann",
         {"me", 1, 1, 0, ann, {"s"}, {}, "", 2, false},
         {IDM_P_SET_HOST, IDM_P_SET_ASSIST, IDM_P_SET_VIEW_ONLY, IDM_P_KICK}},
        {"Ann asks control and host; she holds control",
         {"me", 1, 1, 0, ann, {"a"}, {"a"}, "a", 2, false},
         {IDM_P_TAKE_BACK, IDM_P_PASS_CONTROL, IDM_P_REJECT_CONTROL, IDM_P_REJECT_ALL_CONTROL, IDM_P_SET_HOST,
          IDM_P_REJECT_HOST, IDM_P_REJECT_ALL_HOST, IDM_P_SET_ASSIST, IDM_P_SET_VIEW_ONLY, IDM_P_KICK}},
        {"hand-over under way, sharing restarting: no set host",
         {"me", 1, 1, 0, ann, {}, {}, "", 3, true},
         {IDM_P_SET_ASSIST, IDM_P_SET_VIEW_ONLY, IDM_P_KICK}},
        {"view-only participant",
         {"me", 1, 1, 0, vic, {}, {}, "", 2, false},
         {IDM_P_UNSET_VIEW_ONLY, IDM_P_KICK}},
        {"an assist selected",
         {"me", 1, 1, 0, asa, {}, {}, "", 0, false},
         {IDM_P_SET_HOST, IDM_P_ASSIST_PERMISSION, IDM_P_UNSET_ASSIST, IDM_P_SET_ASSIST, IDM_P_KICK}},
        {"own row of the coordinator host",
         {"me", 1, 1, 0, me, {}, {}, "", 0, false},
         {IDM_P_RENAME}},
        {"assist that may kick, on the coordinator",
         {"s", 0, 2, 0x10, me, {}, {}, "", 0, false},
         {}},
        {"assist that may kick and set hosts, on Ann",
         {"s", 0, 2, 0x12, ann, {}, {}, "", 0, false},
         {IDM_P_SET_HOST, IDM_P_KICK}},
        {"plain participant on its own row",
         {"a", 0, 0, 0, ann, {}, {}, "", 2, false},
         {IDM_P_RENAME}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Commands(c.in), c.want);
    }
}

// --- sharing state ---------------------------------------------------------------

struct Step {
    const char* what;
    std::vector<LobbyParticipant> list;
    SharingInputs in;
    unsigned post;
    int ownState, prevState;
    bool sendReady;
};

TEST(LobbySharing, TransitionsOnBothSidesInOrder)
{
    // Host "h" and participant "p"; each step is one refresh.
    auto L = [](int host, int part, int hostRole = 1) {
        return std::vector<LobbyParticipant>{P("h", L"H", hostRole, 1, host), P("p", L"P", 0, 0, part)};
    };
    auto H = [](int own, int prev, int mss) { return SharingInputs{"h", L"H", 1, 1, 0, own, prev, 2, mss, true}; };
    auto Q = [](int own, int prev, int mss) { return SharingInputs{"p", L"P", 0, 0, 0, own, prev, 2, mss, true}; };
    const Step steps[] = {
        {"host asked to share", L(1, 1), H(1, 1, 1), PLM_OPEN_SHARING_VIEW, 1, 1, false},
        {"participant sees the host starting", L(2, 1), Q(1, 1, 1), PLM_OPEN_SHARING_VIEW, 1, 1, false},
        {"not everyone starting yet: the host waits", L(2, 1), H(2, 1, 1), 0, 2, 1, false},
        {"everyone starting: the server", L(2, 2), H(2, 1, 1), PLM_CREATE_VNC_SERVER, 2, 1, false},
        {"the server is up: the viewer", L(3, 2), Q(2, 1, 1), PLM_CREATE_VIEWER, 2, 1, false},
        {"everyone ready: the pump", L(3, 3), H(3, 2, 1), PLM_START_MAG_CAPTURE, 3, 2, false},
        {"the host shares: the participant reports 4", L(4, 3), Q(3, 2, 2), 0, 4, 3, true},
        {"sharing: nothing moves", L(4, 4), H(4, 3, 2), 0, 4, 3, false},
        {"host stops", L(4, 4), H(4, 3, 4), PLM_STOP_SHARING, 4, 3, false},
        {"participant sees the stop", L(1, 4), Q(4, 3, 4), PLM_STOP_SHARING, 4, 3, false},
        {"restart: the host resumes", L(2, 4), H(4, 3, 3), PLM_SHARING_RESUME_A, 2, 4, false},
        {"restart: an earlier viewer resumes", L(2, 2), Q(4, 3, 3), PLM_SHARING_RESUME_B, 2, 4, false},
        {"restart: a newcomer opens its view", L(2, 1), Q(1, 1, 3), PLM_OPEN_SHARING_VIEW, 1, 1, false},
        // Two rows match (mss 0, state 2, host 3): the first wins.
        {"overlap: the meeting stopped sharing", L(3, 2), Q(2, 1, 0), PLM_STOP_SHARING, 2, 1, false},
        // The host left while sharing; the appliance put every record to 1.
        {"host gone: the view stops", {P("p", L"P", 0, 0, 1)}, Q(4, 3, 0), PLM_STOP_SHARING, 1, 4, false},
        {"host gone, view stopped: nothing more", {P("p", L"P", 0, 0, 1)}, Q(1, 4, 0), 0, 1, 4, false},
        {"host role lost while sharing: the server stops", {P("h", L"H", 0, 1, 1), P("p", L"P", 1, 0, 1)},
         H(4, 3, 0), PLM_STOP_SHARING, 1, 4, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const SharingOutcome o = EvaluateSharing(s.list, s.in);
        EXPECT_EQ(o.post, s.post);
        EXPECT_EQ(o.ownState, s.ownState);
        EXPECT_EQ(o.prevState, s.prevState);
        EXPECT_EQ(o.sendReady, s.sendReady);
        EXPECT_FALSE(o.leave);
        EXPECT_EQ(o.logLine != nullptr, s.post != 0 || s.sendReady);
    }
}

TEST(LobbySharing, LeaveWhenMissingOrLeavingAndNothingAfter)
{
    SharingInputs in{"me", L"Me", 0, 0, 0, 2, 1, 2, 0, true, true};
    SharingOutcome o = EvaluateSharing({P("h", L"H", 1, 1, 2)}, in);
    EXPECT_TRUE(o.leave);
    EXPECT_EQ(o.post, 0u);
    // Not yet seated: no leave, and nothing moves.
    in.ownSeen = false;
    o = EvaluateSharing({P("h", L"H", 1, 1, 2)}, in);
    EXPECT_FALSE(o.leave || o.ownFound);
    EXPECT_EQ(o.post, 0u);
    in.ownSeen = true;
    for (int state : {5, 7}) {
        o = EvaluateSharing({P("h", L"H", 1, 1, 2), P("me", L"Me", 0, 0, state)}, in);
        EXPECT_TRUE(o.leave) << state;
        EXPECT_EQ(o.post, 0u) << state;
    }
    EXPECT_EQ(LeaveWParam(1), 0x102u);
    EXPECT_EQ(LeaveWParam(0), 0x101u);
}

TEST(LobbySharing, OwnRecordChanges)
{
    // The participant becomes coordinator in a started meeting without a host.
    SharingInputs in{"me", L"Me", 0, 0, 0x20, 1, 1, 2, 2, false};
    SharingOutcome o = EvaluateSharing({P("me", L"Renamed", 0, 1, 1, false, 0x40)}, in);
    EXPECT_TRUE(o.becameCoordinator && o.menuChanged && o.resetControlMenu);
    EXPECT_TRUE(o.takeHostRole);
    EXPECT_TRUE(o.nameChanged);
    EXPECT_EQ(o.name, L"Renamed");
    EXPECT_EQ(o.assistPermission, 0x40);
    EXPECT_EQ(o.stateText, IDS_LOBBY_HOST_SHARING);
    EXPECT_FALSE(o.startedBalloon);  // not the host

    // A host who is not coordinator: balloon once, the panel docks, chat stays.
    in = {"me", L"Me", 0, 0, 0, 1, 1, 2, 0, false};
    o = EvaluateSharing({P("me", L"Me", 1, 0), P("c", L"C", 0, 1)}, in);
    EXPECT_TRUE(o.startedBalloon && o.dockPanel && o.roleChanged);
    EXPECT_FALSE(o.hideChat || o.closeHostTools || o.takeHostRole);
    EXPECT_EQ(o.stateText, IDS_LOBBY_HOST_NOT_SHARING);
    in.startedSeen = true;
    in.ownRole = 1;
    o = EvaluateSharing({P("me", L"Me", 1, 0), P("c", L"C", 0, 1)}, in);
    EXPECT_FALSE(o.startedBalloon || o.dockPanel);

    // Waiting meeting: the wait text, view-only taken from the record.
    in = {"me", L"Me", 0, 0, 0, 1, 1, 1, 0, false};
    o = EvaluateSharing({P("me", L"Me", 0, 0, 1, true)}, in);
    EXPECT_EQ(o.stateText, 0);
    EXPECT_TRUE(o.viewOnly && o.hideChat && o.closeHostTools);
    EXPECT_FALSE(o.startedSeen);
    EXPECT_TRUE(ShowWaitMessage("soon", 0));
    EXPECT_FALSE(ShowWaitMessage("soon", 1));
    EXPECT_FALSE(ShowWaitMessage("", 0));
}

// --- refresh results, expiry, control note ------------------------------------------

TEST(LobbyRefresh, ResultsExpiryAndNote)
{
    EXPECT_EQ(ActOnRefreshResult(0).action, RefreshAction::Apply);
    RefreshOutcome r = ActOnRefreshResult(33);
    EXPECT_EQ(r.action, RefreshAction::LogOut);
    EXPECT_EQ(r.text, 4081);
    r = ActOnRefreshResult(47);
    EXPECT_EQ(r.action, RefreshAction::Leave);
    EXPECT_EQ(r.text, 4423);
    r = ActOnRefreshResult(54);
    EXPECT_EQ(r.action, RefreshAction::Leave);
    EXPECT_EQ(r.text, 4521);
    for (int other : {1, 2, 19, 53, -1})
        EXPECT_EQ(ActOnRefreshResult(other).action, RefreshAction::Ignore) << other;

    ExpiryOutcome e = ActOnExpiry(1, 299, 0);
    EXPECT_EQ(e.text, 4518);
    EXPECT_EQ(e.minutes, 4);
    EXPECT_EQ(e.seconds, 59);
    EXPECT_EQ(ActOnExpiry(1, 299, 1).text, 4516);
    for (int quiet : {0, 300, 1000}) {
        EXPECT_EQ(ActOnExpiry(1, quiet, 1).text, 0) << quiet;
        EXPECT_FALSE(ActOnExpiry(1, quiet, 1).askReschedule) << quiet;
    }
    EXPECT_TRUE(ActOnExpiry(1, -1, 1).askReschedule);
    EXPECT_FALSE(ActOnExpiry(1, -1, 0).askReschedule);
    EXPECT_FALSE(ActOnExpiry(2, -1, 1).askReschedule);
    EXPECT_EQ(ActOnExpiry(2, 10, 0).text, 0);

    EXPECT_EQ(ControlNoteText(0, false, 2, 2, false), IDS_LOBBY_NO_CONTROL);
    EXPECT_EQ(ControlNoteText(0, false, 2, 2, true), IDS_LOBBY_HAS_CONTROL);
    EXPECT_EQ(ControlNoteText(0, true, 2, 2, false), 0);
    EXPECT_EQ(ControlNoteText(1, false, 2, 2, false), 0);
    EXPECT_EQ(ControlNoteText(0, false, 2, 0, false), 0);
}

} // namespace
