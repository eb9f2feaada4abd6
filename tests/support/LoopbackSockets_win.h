// A connected loopback TCP pair for tests of a meeting channel: the peer's
// end, which the test writes, and the feature's end, which the code under
// test reads. Winsock is started for the pair's life.
#pragma once

#include <winsock2.h>

struct LoopbackSockets {
    SOCKET peer = INVALID_SOCKET, feature = INVALID_SOCKET;
    LoopbackSockets()
    {
        WSADATA d;
        WSAStartup(MAKEWORD(2, 2), &d);
        SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(l, 1);
        getsockname(l, reinterpret_cast<sockaddr*>(&a), &len);
        peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        connect(peer, reinterpret_cast<sockaddr*>(&a), sizeof a);
        feature = accept(l, nullptr, nullptr);
        closesocket(l);
    }
    ~LoopbackSockets()
    {
        closesocket(peer);
        closesocket(feature);
        WSACleanup();
    }
    LoopbackSockets(const LoopbackSockets&) = delete;
    LoopbackSockets& operator=(const LoopbackSockets&) = delete;
};
