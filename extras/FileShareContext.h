#pragma once
// What file sharing needs of the program: the meeting's type-29 sender, the
// own session, the file-share channel, the participant list and the tray.
// The program's manager implements it (core/app), so file sharing never
// sees the manager.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct FileShareMember {
    std::string session;
    std::wstring name;
    int role = 0;  // 1: host
};

class FileShareContext {
public:
    virtual ~FileShareContext() = default;

    virtual HINSTANCE Instance() = 0;
    // One whole type-29 packet with this payload, under the send lock.
    virtual bool SendFileShare(const uint8_t* payload, size_t length) = 0;
    virtual std::string OwnSession() = 0;
    // The file-share channel's client end (a SOCKET); ~0 when none.
    virtual std::uintptr_t Channel() = 0;
    // The participant list as it stands.
    virtual std::vector<FileShareMember> Members() = 0;
    virtual void Balloon(const wchar_t* title, const wchar_t* text) = 0;
    // The host has downloads running ("(Sharing Files)" in the lobby).
    virtual void SetHostTransfers(bool active) = 0;
};
