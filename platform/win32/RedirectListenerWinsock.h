// The one-shot listener for the browser's redirect over Winsock: non-blocking sockets on
// 127.0.0.1 and, when asked, on ::1 at the same ephemeral port.
#ifndef KELVOR_PLATFORM_WIN32_REDIRECTLISTENERWINSOCK_H
#define KELVOR_PLATFORM_WIN32_REDIRECTLISTENERWINSOCK_H

#include <cstdint>
#include <string>
#include <vector>

#include "signin/SignInPlatform.h"

class CRedirectListenerWinsock : public RedirectListener {
public:
    CRedirectListenerWinsock() = default;
    ~CRedirectListenerWinsock() override;
    CRedirectListenerWinsock(const CRedirectListenerWinsock&) = delete;
    CRedirectListenerWinsock& operator=(const CRedirectListenerWinsock&) = delete;

    int Open(bool alsoIpv6, int& port, std::string& reason) override;
    int NextRequest(std::string& target) override;
    void Answer(int status, const std::string& html) override;
    void Close() override;

private:
    // One accepted connection and the bytes of its request so far.
    struct Visitor {
        std::uintptr_t socket;
        std::string request;
        unsigned long long acceptedAt;  // GetTickCount64 when accepted
    };

    void AcceptWaiting();
    // Reads what has arrived; false when the connection is to be closed.
    bool ReadWaiting(Visitor& visitor);

    std::vector<std::uintptr_t> m_listening;
    std::vector<Visitor> m_visitors;
    std::uintptr_t m_answering = ~static_cast<std::uintptr_t>(0);  // NextRequest's last, or none
    bool m_open = false;

public:
    // A request line and headers may take this much; a visitor who sends more is closed.
    static constexpr std::size_t kMaxRequestBytes = 8 * 1024;
    // A visitor whose request has not come whole after this long is closed.
    static constexpr unsigned kVisitorMilliseconds = 10000;
    // At most this many visitors are kept at once; the oldest goes first.
    static constexpr std::size_t kMaxVisitors = 16;
};

#endif
