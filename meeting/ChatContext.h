#pragma once
// What the chat needs of the program: who this participant is, the
// participant list, the control channel's sender, the chat channel, the
// meeting's sharing state and a refresh of the list. The program's manager
// implements it (core/app), so the chat never sees the manager.
#include "meeting/ChatRules.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class ChatContext {
public:
    virtual ~ChatContext() = default;

    virtual HINSTANCE Instance() const = 0;
    // Target of PLM_SHOW_CHAT.
    virtual DWORD MainThreadId() const = 0;
    virtual std::string OwnSessionId() const = 0;
    // The participant list as it stands (taken under its lock).
    virtual std::vector<ChatPeer> Peers() = 0;
    // One whole packet on the control channel under its send lock; false
    // when it did not go.
    virtual bool SendPacket(const std::vector<uint8_t>& packet) = 0;
    // The chat channel's client end (a SOCKET, owned by the program and open
    // until the chat is deleted); ~0 when there is none.
    virtual std::uintptr_t ChatChannel() = 0;
    // The host shares the screen (the meeting's sharing state is 2).
    virtual bool HostSharing() const = 0;
    // The "%s\t%s\t" prefix of the meeting's log lines.
    virtual std::wstring EventPrefix() const = 0;
    // Main thread: the participant list is read again at once; the chat is
    // told (WM_CHAT_RECIPIENTS) when it has come.
    virtual void AskRefresh() = 0;
};
