// The viewer's connection tells the meeting "vnc server is created" only
// when its session opened: a start that fails leaves the event unset, so
// the manager's check cannot pass on a viewer that shows nothing.
#include "Technician/connection/ClientConnection.h"
#include "Technician/connection/tests/HostPeer.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "tests/support/LoopbackSockets_win.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// The meeting as the viewer sees it; only the start signal is counted.
class StartSignals : public QuietMeetingContext {
public:
    void SignalViewerStarted() override { ++started; }

    std::atomic<int> started{0};
};

TEST(ViewerConnection, SignalsTheStartOnlyWhenItsSessionOpens)
{
    StartSignals meeting;
    {
        // The host's end closed before the start exchange.
        LoopbackSockets dead;
        closesocket(dead.peer);
        dead.peer = INVALID_SOCKET;
        auto* conn = new ClientConnection(&meeting, dead.feature);
        EXPECT_EQ(conn->Run(), 0);
        EXPECT_EQ(meeting.started.load(), 0) << "a failed start was announced";
        EXPECT_EQ(WaitForSingleObject(conn->ReadyEvent(), 0), WAIT_OBJECT_0);
        delete conn;
    }
    {
        viewer::testing::HostPeer host(160, 100);
        auto* conn = new ClientConnection(&meeting, static_cast<SOCKET>(host.viewerSocket()));
        EXPECT_EQ(conn->Run(), 1);
        EXPECT_EQ(meeting.started.load(), 1);
        conn->Stop();
        delete conn;
    }
}

} // namespace
