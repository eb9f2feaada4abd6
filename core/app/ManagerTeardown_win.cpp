// The one ordered end of a meeting, shared by exit, logout, leave and every
// failure path: threads are stopped and joined before anything they use is
// deleted.
#include "core/app/Manager.h"

#include "core/app/MeetingHandlers_win.h"
#include "core/base/DHLog.h"

#include "Customer/input/LocalInputHooks.h"
#include "Customer/session/vncServer.h"
#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/TechnicianGUI.h"
#include "extras/AudioSpeaker.h"
#include "extras/CPolling.h"
#include "extras/CScreenRecoderWnd.h"
#include "extras/FileShare.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/CCtrlMenu.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/PartiMark.h"

void CManager::EndMeeting(MeetingEnd how)
{
    // 1. Nothing is joined before every meeting thread's blocking call can
    //    end: the relay is told to stop (first, so a deliberate end is never
    //    reported as a lost tunnel), the tunnels close and the channels shut
    //    down. The core's sharing socket stays open: its endpoint owns it.
    Transport().StopTraffic();
    // 2. The sharing side: pump, host's server and viewer are joined (each
    //    within its limit) while their channel's handle is still theirs.
    EndSharingEndpoints();
    // 3. Relay and receive threads joined, sockets closed: from here on no
    //    network thread calls into the meeting objects. Then the request
    //    workers, which the receive threads start.
    Transport().CloseAndJoin();
    m_handlers->EndMeeting();
    if (m_inputWatch) {
        RemoveLocalInputHooks();
        m_inputWatch = false;
    }
    // 4. The features' own threads end with their channels.
    if (canvas1)
        canvas1->Close();
    if (canvas2)
        canvas2->Close();
    if (partiMark)
        partiMark->RemoveAllMarks();
    if (fileShare)
        fileShare->Close();
    if (audioSpeaker)
        audioSpeaker->StopReceive();
    // 5. The meeting's windows and objects.
    DeleteMeetingObjects();
    if (how == MeetingEnd::Logout || how == MeetingEnd::Failure || how == MeetingEnd::Exit) {
        Appliance().DestroyMeetingSetup();
        Appliance().DestroyMeetingList();
    }
    // 6. State back to "no meeting".
    sharingStep = 1;
    prevSharingStep = 1;
    meetingState = 1;
    title = 0;
    role = 0;
    for (int& flag : lobbyFlags)
        flag = 0;
    if (how == MeetingEnd::Logout) {
        loginFields.first.clear();
        loginFields.step = 1;
        loginFields.second.clear();
    }
    m_meetingOpen = false;
}

void CManager::EndSharingEndpoints()
{
    // Signal, wake, join, delete; the caller closes the channel afterwards.
    // Closing it first would let a thread still inside recv or send use a
    // handle value the system may already have given to another socket.
    pumpEnabled = 0;
    m_pumpStop = true;
    Transport().ShutdownSharing();
    if (vncServerObj)
        vncServerObj->StopSession();
    JoinPump();
    // Their destructors join their threads.
    DeleteViewerFrame();
    DeleteAndClear(vncServerObj);
}

void CManager::DeleteViewerFrame()
{
    if (!viewerFrame)
        return;
    if (viewerFrame->m_hwndToolbar && IsWindow(viewerFrame->m_hwndToolbar))
        DestroyWindow(viewerFrame->m_hwndToolbar);
    if (viewerFrame->m_hwndFrame && IsWindow(viewerFrame->m_hwndFrame))
        DestroyWindow(viewerFrame->m_hwndFrame);
    if (viewerFrame->m_conn)
        viewerFrame->m_conn->m_active = 0;
    DeleteAndClear(viewerFrame);
}

void CManager::DeleteMeetingObjects()
{
    DeleteAndClear(controlMenu);
    DeleteAndClear(polling1);
    DeleteAndClear(polling2);
    Appliance().DestroyInvite();
    DeleteAndClear(chat);
    DeleteAndClear(lobby);
    DeleteAndClear(recorderWindow);
}

void CManager::StartPump()
{
    JoinPump();
    // The host's own server is asked directly for an incremental whole-screen
    // update: nothing enters the viewer's byte stream, where a request could
    // land inside one of the viewer's messages.
    ::vncServer* server = vncServerObj;
    if (!server)
        return;
    m_pumpStop = false;
    m_pumpThread.Start(
        [this, server] {
            while (sharingStep == 4 && !m_pumpStop) {
                if (pumpEnabled)
                    server->RequestScreenUpdate();
                Sleep(50);
            }
        },
        [](const std::string& what) {
            DHLog::Instance().Print(0x08, 1, false, "The update pump ended: %s\n", what.c_str());
        });
}

bool CManager::JoinPump()
{
    m_pumpStop = true;
    // The loop checks the flag every 50 ms; its request waits at most for
    // an update in progress, which the server's stopped session ends.
    if (m_pumpThread.Join(kPumpJoinMs))
        return true;
    DHLog::Instance().Print(0x08, 1, false, "The update pump did not end in %u ms.\n",
                            static_cast<unsigned>(kPumpJoinMs));
    return false;
}
