// PosixRedirectListener: the one-shot listener on the loopback addresses that the browser comes
// back to after a sign-in, over non-blocking POSIX sockets.
#ifndef KELVOR_PLATFORM_POSIX_POSIXREDIRECTLISTENER_H
#define KELVOR_PLATFORM_POSIX_POSIXREDIRECTLISTENER_H

#include <chrono>
#include <string>
#include <vector>

#include "signin/SignInPlatform.h"

class PosixRedirectListener : public RedirectListener {
public:
    PosixRedirectListener() = default;
    ~PosixRedirectListener() override;
    PosixRedirectListener(const PosixRedirectListener&) = delete;
    PosixRedirectListener& operator=(const PosixRedirectListener&) = delete;

    int Open(bool alsoIpv6, int& port, std::string& reason) override;
    int NextRequest(std::string& target) override;
    void Answer(int status, const std::string& html) override;
    void Close() override;

private:
    struct Connection {
        int fd = -1;
        std::string received;
        std::chrono::steady_clock::time_point deadline;
    };

    // Takes every connection that waits on a listening socket; false when accepting failed.
    bool AcceptWaiting(int listening);
    // Reads what has arrived on a connection: 1 with target set when its request is whole,
    // 0 when more is to come, -1 when it must be closed (junk, too much, gone, too slow).
    static int ReadRequest(Connection& connection, std::string& target);
    void CloseAnswered();

    std::vector<int> m_listening;
    std::vector<Connection> m_connections;
    // The connection whose request NextRequest returned last, until Answer or the next call.
    int m_returned = -1;
    bool m_closed = false;
};

#endif
