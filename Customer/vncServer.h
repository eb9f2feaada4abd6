#pragma once
// The host's sharing server on the sharing channel's client end. The manager
// creates it on message 60110 and deletes it when sharing ends.
#include "core/CHeap.h"

#include <winsock2.h>

#include <string>

class CManager;

class vncServer : public CHeap {
public:
    // Keeps the manager; the socket is the sharing channel's client end.
    vncServer(CManager* manager, SOCKET socket);
    ~vncServer() override;
    vncServer(const vncServer&) = delete;
    vncServer& operator=(const vncServer&) = delete;

    // Stores a copy of the text as the server's name (the host's display name).
    void SetName(const char* name);
    // Adds the one client for the server's socket (AddClient with 0 as its
    // third argument); its client thread sets "vnc server is created".
    void AddClientDefault(int shared, int keepAlive);

    const std::string& Name() const { return m_name; }

private:
    CManager* m_manager;
    SOCKET m_socket;
    std::string m_name;
};
