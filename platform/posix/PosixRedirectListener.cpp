// The redirect listener over POSIX sockets. Every socket is non-blocking and every call returns
// at once: the waiting box asks about ten times a second. Whatever connects is taken, read up
// to a small cap and closed when it sends anything but a GET, too much, or nothing whole for
// half a minute, so neither a stray program nor a browser's spare connection can hold it up.
#include "platform/posix/PosixRedirectListener.h"
#include "signin/SignInTexts.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// A browser's GET with its header lines fits in a few KiB; anything longer is not one.
constexpr std::size_t kMaxRequestBytes = 8 * 1024;
// Browsers open a handful of connections at most; more at once are closed unread.
constexpr std::size_t kMaxConnections = 16;
// A connection that has not sent a whole request by then is given up.
constexpr std::chrono::seconds kRequestTimeLimit{30};
// Tries at a port free on both addresses, when ::1 is taken at the port 127.0.0.1 got.
constexpr int kPortAttempts = 8;

#if defined(MSG_NOSIGNAL)
const int kSendFlags = MSG_NOSIGNAL | MSG_DONTWAIT;
#else
const int kSendFlags = MSG_DONTWAIT;
#endif

// A listening socket on the loopback address of family at port (0: the system chooses);
// -1 with errno set when it cannot be had.
int ListenOn(int family, int port)
{
    int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        int only = 1;
        // ::1 alone, so that the IPv4 socket keeps 127.0.0.1 to itself.
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
        auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_addr = in6addr_loopback;
        ipv6.sin6_port = htons(static_cast<unsigned short>(port));
        length = sizeof ipv6;
    } else {
        auto& ipv4 = reinterpret_cast<sockaddr_in&>(address);
        ipv4.sin_family = AF_INET;
        ipv4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ipv4.sin_port = htons(static_cast<unsigned short>(port));
        length = sizeof ipv4;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 8) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int PortOf(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// The request target of a whole request ("GET /?code=... HTTP/1.1" and its header lines up to
// the empty line); false when the request line is not that of a GET with a plain target.
bool TargetOf(const std::string& request, std::string& target)
{
    std::size_t lineEnd = request.find('\n');
    std::string line = request.substr(0, lineEnd);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const std::string method = "GET ";
    std::size_t versionAt = line.rfind(" HTTP/1.");
    if (line.compare(0, method.size(), method) != 0 || versionAt == std::string::npos || versionAt <= method.size() ||
        line.size() != versionAt + 9)
        return false;
    target = line.substr(method.size(), versionAt - method.size());
    if (target.front() != '/')
        return false;
    for (char c : target) {
        if (c <= ' ' || c > '~')
            return false;
    }
    return true;
}

}  // namespace

PosixRedirectListener::~PosixRedirectListener()
{
    Close();
}

int PosixRedirectListener::Open(bool alsoIpv6, int& port, std::string& reason)
{
    if (m_closed || !m_listening.empty()) {
        reason = "the listener is already open or closed";
        return 0;
    }
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        int ipv4 = ListenOn(AF_INET, 0);
        if (ipv4 < 0) {
            reason = std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno);
            return 0;
        }
        port = PortOf(ipv4);
        if (!alsoIpv6) {
            m_listening.push_back(ipv4);
            return 1;
        }
        int ipv6 = ListenOn(AF_INET6, port);
        if (ipv6 >= 0) {
            m_listening = {ipv4, ipv6};
            return 1;
        }
        if (errno == EADDRNOTAVAIL || errno == EAFNOSUPPORT) {
            // This computer has no ::1, so no browser can come back there either.
            m_listening.push_back(ipv4);
            return 1;
        }
        int error = errno;
        close(ipv4);
        if (error != EADDRINUSE) {
            reason = std::string("cannot listen on ::1: ") + std::strerror(error);
            return 0;
        }
    }
    reason = "no port is free on both 127.0.0.1 and ::1";
    return 0;
}

bool PosixRedirectListener::AcceptWaiting(int listening)
{
    for (;;) {
        int fd = accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // Nothing more waits, or the process is out of descriptors for now: the rest
            // stays queued for the next call.
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EMFILE || errno == ENFILE ||
                   errno == ENOBUFS || errno == ENOMEM;
        }
        if (m_connections.size() >= kMaxConnections) {
            close(fd);
            continue;
        }
        Connection connection;
        connection.fd = fd;
        connection.deadline = Clock::now() + kRequestTimeLimit;
        m_connections.push_back(std::move(connection));
    }
}

int PosixRedirectListener::ReadRequest(Connection& connection, std::string& target)
{
    char buffer[2048];
    for (;;) {
        ssize_t received = recv(connection.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (received > 0) {
            connection.received.append(buffer, static_cast<std::size_t>(received));
            if (connection.received.size() > kMaxRequestBytes)
                return -1;
            continue;
        }
        if (received < 0 && errno == EINTR)
            continue;
        if (received == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return -1;  // gone before its request was whole, or broken
        break;
    }
    // Anything but the start of a GET is not the browser coming back.
    const std::string method = "GET ";
    std::size_t compared = std::min(connection.received.size(), method.size());
    if (connection.received.compare(0, compared, method, 0, compared) != 0)
        return -1;
    if (connection.received.find("\r\n\r\n") == std::string::npos &&
        connection.received.find("\n\n") == std::string::npos)
        return Clock::now() < connection.deadline ? 0 : -1;
    // The whole head has been read, so closing after the answer leaves nothing unread that
    // would make the system reset the connection before the browser has the page.
    return TargetOf(connection.received, target) ? 1 : -1;
}

int PosixRedirectListener::NextRequest(std::string& target)
{
    if (m_closed || m_listening.empty())
        return -1;
    CloseAnswered();
    for (int listening : m_listening) {
        if (!AcceptWaiting(listening))
            return -1;
    }
    for (std::size_t i = 0; i < m_connections.size();) {
        int state = ReadRequest(m_connections[i], target);
        if (state == 1) {
            m_returned = static_cast<int>(i);
            return 1;
        }
        if (state < 0) {
            close(m_connections[i].fd);
            m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
    target.clear();
    return 0;
}

void PosixRedirectListener::Answer(int status, const std::string& html)
{
    if (m_returned < 0)
        return;
    std::string answer = BrowserAnswer(status, html);
    // The page is a few hundred bytes, far below what a new socket's send buffer takes, so
    // one send without waiting hands it all to the system.
    int fd = m_connections[static_cast<std::size_t>(m_returned)].fd;
    std::size_t sent = 0;
    while (sent < answer.size()) {
        ssize_t written = send(fd, answer.data() + sent, answer.size() - sent, kSendFlags);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        sent += static_cast<std::size_t>(written);
    }
    shutdown(fd, SHUT_WR);
    CloseAnswered();
}

// Closes the connection returned last: answered, or ignored by a caller that asked for the next.
void PosixRedirectListener::CloseAnswered()
{
    if (m_returned < 0)
        return;
    close(m_connections[static_cast<std::size_t>(m_returned)].fd);
    m_connections.erase(m_connections.begin() + m_returned);
    m_returned = -1;
}

void PosixRedirectListener::Close()
{
    for (const Connection& connection : m_connections)
        close(connection.fd);
    for (int fd : m_listening)
        close(fd);
    m_connections.clear();
    m_listening.clear();
    m_returned = -1;
    m_closed = true;
}
