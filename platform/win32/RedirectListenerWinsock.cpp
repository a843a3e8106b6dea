// The redirect listener over Winsock. Every socket is non-blocking, so that the waiting box's
// poll never stops the window; each visitor's request is capped and given a few seconds.
#include "platform/win32/RedirectListenerWinsock.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "signin/SignInTexts.h"

namespace {

constexpr SOCKET kNone = INVALID_SOCKET;
// An answer to the browser is short; its send may wait at most this long in all.
constexpr ULONGLONG kAnswerMilliseconds = 500;

bool MakeNonBlocking(SOCKET socketHandle)
{
    u_long nonBlocking = 1;
    return ioctlsocket(socketHandle, FIONBIO, &nonBlocking) == 0;
}

// No other program may bind the port beside us and take the browser's redirect.
void ClaimPortAlone(SOCKET socketHandle)
{
    BOOL exclusive = TRUE;
    setsockopt(socketHandle, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
}

SOCKET Listening(int family, const sockaddr* address, int length, int& error)
{
    SOCKET socketHandle = socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (socketHandle == INVALID_SOCKET) {
        error = WSAGetLastError();
        return kNone;
    }
    if (family == AF_INET6) {
        DWORD only = 1;
        setsockopt(socketHandle, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&only), sizeof only);
    }
    ClaimPortAlone(socketHandle);
    if (!MakeNonBlocking(socketHandle) || bind(socketHandle, address, length) != 0 ||
        listen(socketHandle, 8) != 0) {
        error = WSAGetLastError();
        closesocket(socketHandle);
        return kNone;
    }
    return socketHandle;
}

// Reads everything that is waiting, so that the close that follows is not a reset that
// takes the answer with it.
void DrainAndClose(SOCKET socketHandle)
{
    char area[512];
    for (int i = 0; i < 32 && recv(socketHandle, area, sizeof area, 0) > 0; ++i) {
    }
    closesocket(socketHandle);
}

}  // namespace

CRedirectListenerWinsock::~CRedirectListenerWinsock()
{
    Close();
}

int CRedirectListenerWinsock::Open(bool alsoIpv6, int& port, std::string& reason)
{
    Close();
    // A port free on 127.0.0.1 may be taken on ::1: then another port is tried.
    for (int attempt = 0; attempt < 8; ++attempt) {
        sockaddr_in address4{};
        address4.sin_family = AF_INET;
        address4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int error = 0;
        SOCKET socket4 = Listening(AF_INET, reinterpret_cast<const sockaddr*>(&address4), sizeof address4, error);
        int length = sizeof address4;
        if (socket4 == kNone ||
            getsockname(socket4, reinterpret_cast<sockaddr*>(&address4), &length) != 0) {
            if (socket4 != kNone)
                closesocket(socket4);
            reason = "no loopback port could be opened (error " + std::to_string(error) + ")";
            return 0;
        }
        port = ntohs(address4.sin_port);
        m_listening.push_back(socket4);
        if (alsoIpv6) {
            sockaddr_in6 address6{};
            address6.sin6_family = AF_INET6;
            address6.sin6_addr = in6addr_loopback;
            address6.sin6_port = address4.sin_port;
            SOCKET socket6 =
                Listening(AF_INET6, reinterpret_cast<const sockaddr*>(&address6), sizeof address6, error);
            if (socket6 != kNone) {
                m_listening.push_back(socket6);
            } else if (error == WSAEADDRINUSE || error == WSAEACCES) {
                Close();
                continue;
            }
            // Without IPv6 on this system no browser can come over ::1; 127.0.0.1 is enough.
        }
        m_open = true;
        return 1;
    }
    reason = "no port was free on both loopback addresses";
    return 0;
}

void CRedirectListenerWinsock::AcceptWaiting()
{
    for (std::uintptr_t listening : m_listening) {
        for (int i = 0; i < static_cast<int>(kMaxVisitors); ++i) {
            SOCKET accepted = accept(static_cast<SOCKET>(listening), nullptr, nullptr);
            if (accepted == INVALID_SOCKET)
                break;
            if (!MakeNonBlocking(accepted)) {
                closesocket(accepted);
                continue;
            }
            if (m_visitors.size() >= kMaxVisitors) {
                closesocket(static_cast<SOCKET>(m_visitors.front().socket));
                m_visitors.erase(m_visitors.begin());
            }
            m_visitors.push_back(Visitor{accepted, std::string(), GetTickCount64()});
        }
    }
}

bool CRedirectListenerWinsock::ReadWaiting(Visitor& visitor)
{
    char area[1024];
    for (;;) {
        const int received = recv(static_cast<SOCKET>(visitor.socket), area, sizeof area, 0);
        if (received > 0) {
            visitor.request.append(area, static_cast<std::size_t>(received));
            if (visitor.request.size() > kMaxRequestBytes)
                return false;
            continue;
        }
        if (received == 0)  // closed by the browser: only a whole request line is still of use
            return visitor.request.find('\n') != std::string::npos;
        return WSAGetLastError() == WSAEWOULDBLOCK;
    }
}

int CRedirectListenerWinsock::NextRequest(std::string& target)
{
    if (!m_open)
        return -1;
    if (m_answering != static_cast<std::uintptr_t>(kNone))
        Answer(400, std::string());
    AcceptWaiting();
    const ULONGLONG now = GetTickCount64();
    for (std::size_t i = 0; i < m_visitors.size();) {
        Visitor& visitor = m_visitors[i];
        bool keep = ReadWaiting(visitor) && now - visitor.acceptedAt < kVisitorMilliseconds;
        const std::size_t lineEnd = visitor.request.find('\n');
        if (keep && lineEnd != std::string::npos) {
            std::string line = visitor.request.substr(0, lineEnd);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const std::size_t space = line.find(' ', 4);
            if (line.compare(0, 4, "GET ") == 0 && space != std::string::npos &&
                line.compare(space, 7, " HTTP/1") == 0) {
                target = line.substr(4, space - 4);
                m_answering = visitor.socket;
                m_visitors.erase(m_visitors.begin() + static_cast<std::ptrdiff_t>(i));
                return 1;
            }
            keep = false;
        }
        if (keep) {
            ++i;
            continue;
        }
        DrainAndClose(static_cast<SOCKET>(visitor.socket));
        m_visitors.erase(m_visitors.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return 0;
}

void CRedirectListenerWinsock::Answer(int status, const std::string& html)
{
    if (m_answering == static_cast<std::uintptr_t>(kNone))
        return;
    const SOCKET socketHandle = static_cast<SOCKET>(m_answering);
    m_answering = static_cast<std::uintptr_t>(kNone);
    const std::string answer = BrowserAnswer(status, html);
    std::size_t sent = 0;
    const ULONGLONG start = GetTickCount64();
    while (sent < answer.size() && GetTickCount64() - start < kAnswerMilliseconds) {
        const int count = send(socketHandle, answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && WSAGetLastError() != WSAEWOULDBLOCK)
            break;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(socketHandle, &writable);
        timeval limit{0, 50 * 1000};
        select(0, nullptr, &writable, nullptr, &limit);
    }
    shutdown(socketHandle, SD_SEND);
    DrainAndClose(socketHandle);
}

void CRedirectListenerWinsock::Close()
{
    if (m_answering != static_cast<std::uintptr_t>(kNone))
        closesocket(static_cast<SOCKET>(m_answering));
    m_answering = static_cast<std::uintptr_t>(kNone);
    for (const Visitor& visitor : m_visitors)
        closesocket(static_cast<SOCKET>(visitor.socket));
    m_visitors.clear();
    for (std::uintptr_t listening : m_listening)
        closesocket(static_cast<SOCKET>(listening));
    m_listening.clear();
    m_open = false;
}
