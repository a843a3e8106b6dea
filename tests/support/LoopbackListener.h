// A socket listening on 127.0.0.1 at a free port, for the POSIX tests and benchmarks that play
// a server or a relay of their own.
#ifndef KELVOR_TESTS_SUPPORT_LOOPBACKLISTENER_H
#define KELVOR_TESTS_SUPPORT_LOOPBACKLISTENER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The listening socket with at most backlog connections waiting, its port in port; -1 when
// none could be opened.
inline int ListenOnLoopback(int backlog, int& port)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, backlog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0)
            close(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

#endif
