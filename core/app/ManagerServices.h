#pragma once
// What the manager needs of the parts it drives but does not own the code of:
// the meeting's network side (loopback channels, appliance tunnels, relay and
// receive threads) and the appliance services with their windows (login,
// meeting list, meeting setup, invitations). Each is one interface so the
// dispatcher runs against test doubles, and against the parts still to come.
#include "core/base/MeetingContext.h"
#include "core/control/ControlPacket.h"

#include <winsock2.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CManager;

class MeetingTransport {
public:
    virtual ~MeetingTransport() = default;

    // The loopback listener and its accept thread.
    virtual bool StartLocalListener() = 0;
    // Mode 0: the five meeting channels; mode 1: the sharing channel.
    virtual bool CreateLocalSockets(int mode) = 0;
    // Opens the tunnel of kind 0 (control) or 1 (sharing); true only when it
    // is connected and its handshake done.
    virtual bool OpenTunnel(int kind) = 0;
    virtual bool HasTunnel(int kind) const = 0;
    // The hello frame on the control tunnel.
    virtual bool SendHello(const std::string& meetingId, int role, const std::wstring& displayName,
                           const std::string& sessionId) = 0;
    // Relay, control and canvas receive threads, each a new thread.
    virtual bool StartMeetingThreads() = 0;
    // Closes the sharing tunnel and wakes every thread blocked on the sharing
    // channel's client end (its reads end, its writes fail) while the handle
    // stays valid, so the sharing endpoints can be joined before the handle
    // is closed. Returns at once.
    virtual void ShutdownSharing() = 0;
    // The first step of every end of a meeting: the relay told to stop, the
    // tunnels closed and every channel shut down (no handle closed), so that
    // every blocking call of every meeting thread ends. Joins nothing and
    // returns at once.
    virtual void StopTraffic() = 0;
    // End of sharing: closes the sharing tunnel and channel and leaves one
    // relay serving the control tunnel (never two at once).
    virtual void DropSharing() = 0;
    // Closes both tunnels, the listener and every channel socket, then joins
    // the relay, accept and receive threads (bounded). Afterwards no thread of
    // the transport touches the manager's objects.
    virtual void CloseAndJoin() = 0;
    // The sharing channel's client end (for the host's server or the viewer).
    virtual SOCKET SharingClientEnd() const = 0;
    // A meeting channel's client end for the feature that reads it.
    virtual SOCKET FeatureClientEnd(MeetingContext::FeatureChannel channel) const = 0;
    // Writes on the sharing channel's accepted end, as if the peer had sent it.
    virtual bool WriteSharingAcceptedEnd(const void* data, size_t length) = 0;
    // Packet type 2 with the two sharing steps.
    virtual void SendSharingState(int prevStep, int step) = 0;
    // Meeting packets on the control channel, all under one hold of the send
    // lock (so the pieces of one text stay together); false when not sent.
    virtual bool SendPackets(const std::vector<ControlPacket>& packets) = 0;
};

class ApplianceServices {
public:
    virtual ~ApplianceServices() = default;

    // The request session; false when it cannot be made.
    virtual bool CreateSession() = 0;
    // Request results use the appliance's codes: 0 success, 19 proxy
    // credentials wanted, others failures.
    virtual int SessionTest() = 0;
    virtual int MeetingTest() = 0;
    // The join worker of a meeting link, run to its end on this thread.
    virtual int RunJoinWorker() = 0;
    // Name and wait message of the launched meeting from the meeting list
    // (a launch with a session and a meeting); both stay as they were when the
    // list cannot be read or does not hold the meeting.
    virtual void ReadLaunchedMeeting() = 0;
    // The participant list, swapped in under the participant lock.
    virtual bool ReadParticipants() = 0;
    // The same request prepared on the main thread to run on another: the
    // function holds its own copy of the request session and returns the
    // appliance's result code.
    virtual std::function<int()> PrepareParticipantsRequest()
    {
        return [this] { return ReadParticipants() ? 0 : 1; };
    }
    // Stored settings (modes 0, 4) or the browser's (modes 1-3).
    virtual void ReadProxySettings(bool fromBrowser) = 0;
    virtual void ResolveApplianceHost() = 0;
    // The proxy-authentication dialog; false when the user cancels it.
    virtual bool AskProxyCredentials() = 0;

    virtual bool CreateLogin() = 0;
    virtual void DestroyLogin() = 0;
    virtual HWND LoginWindow() const = 0;
    virtual void SetLoginServer(const std::string& server) = 0;
    virtual bool CreateMeetingList(int openedFromList) = 0;
    virtual void DestroyMeetingList() = 0;
    virtual bool HasMeetingList() const = 0;
    virtual bool CreateMeetingSetup(bool reschedule) = 0;
    virtual void DestroyMeetingSetup() = 0;
    virtual bool HasMeetingSetup() const = 0;
    virtual bool CreateInvite() = 0;
    virtual void DestroyInvite() = 0;
    virtual void ShowInvite() = 0;

    // The current server as the default connection profile.
    virtual void StoreDefaultProfile(const std::string& server, const std::wstring& displayName) = 0;
    // origin 1 from the login window, 0 from the meeting-list hand-over.
    virtual void StartPasswordExpiryPrompt(int origin) = 0;
    // After a password change from the login window: the login window's
    // server page with the login state cleared (nothing without a window).
    virtual void ReturnLoginToServerPage() = 0;
    // 1 when the upgrade went ahead.
    virtual int UpgradeClient(bool required) = 0;
    // The tray's meeting-details item.
    virtual bool IsMeetingDetailsVisible() const = 0;
    virtual void ToggleMeetingDetails() = 0;
    // The tray's Settings: the options dialog opens, or the open one comes
    // to the front. Main thread.
    virtual void OpenOptions() = 0;
    // SHA-1 hex of the appliance certificate the user accepted for the
    // current host and port; empty when none (the voice's DTLS check).
    virtual std::string AcceptedApplianceThumbprint() const { return {}; }
};

struct ManagerServices {
    std::unique_ptr<MeetingTransport> transport;
    std::unique_ptr<ApplianceServices> appliance;
};

// The implementations in the program: the meeting's network side over the
// appliance tunnels, and the appliance requests; the windows still to come
// report failure, so their callers take their failure paths.
ManagerServices MakeProgramServices(CManager& manager);
