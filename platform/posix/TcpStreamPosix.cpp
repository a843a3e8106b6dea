// The TCP stream of the POP3 client over POSIX sockets. The socket's own receive and send
// time-outs limit each wait (one system call per receive, which matters when a listing makes
// thousands of round trips); poll() limits the connect. Sends never raise SIGPIPE, so a server
// that has gone away cannot end the program.
#include "pop3/TcpStream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

#if defined(MSG_NOSIGNAL)
const int kSendFlags = MSG_NOSIGNAL;
#else
const int kSendFlags = 0;
#endif

int FileDescriptor(std::intptr_t handle)
{
    return static_cast<int>(handle);
}

// Waits until the socket is ready for the given events; 1 when ready, 0 on time out or error.
int WaitFor(int fd, short events, int timeLimitMilliseconds)
{
    pollfd entry{};
    entry.fd = fd;
    entry.events = events;
    for (;;) {
        int ready = poll(&entry, 1, timeLimitMilliseconds < 0 ? 0 : timeLimitMilliseconds);
        if (ready > 0)
            return 1;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return 0;
        // A signal interrupted the wait; waiting the whole limit again keeps the code simple
        // and still ends, since signals do not arrive without end.
    }
}

// The IPv4 address of a host text: a dotted address is taken as it stands, anything else
// is looked up as a host name and its first IPv4 address is used.
int ResolveIpv4(const std::string& host, in_addr& address)
{
    if (host.empty())
        return 0;
    if (inet_aton(host.c_str(), &address) != 0)
        return 1;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return 0;
    int resolved = 0;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
            address = reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr;
            resolved = 1;
            break;
        }
    }
    freeaddrinfo(found);
    return resolved;
}

// Gives the socket a time limit for its receives or sends; 1 on success.
int SetSocketTimeLimit(int fd, int option, int timeLimitMilliseconds)
{
    timeval limit{};
    limit.tv_sec = timeLimitMilliseconds / 1000;
    limit.tv_usec = (timeLimitMilliseconds % 1000) * 1000;
    return setsockopt(fd, SOL_SOCKET, option, &limit, sizeof limit) == 0 ? 1 : 0;
}

int SetBlocking(int fd, bool blocking)
{
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return 0;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0 ? 1 : 0;
}

}  // namespace

CTcpStream::CTcpStream()
    : m_handle(socket(AF_INET, SOCK_STREAM, 0)),
      m_receiveLimitMilliseconds(-1),
      m_sendLimitMilliseconds(-1)
{
    if (m_handle >= 0) {
        // The descriptor must not leak into programs this process may start.
        fcntl(FileDescriptor(m_handle), F_SETFD, FD_CLOEXEC);
#if defined(SO_NOSIGPIPE)
        int on = 1;
        setsockopt(FileDescriptor(m_handle), SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    }
}

CTcpStream::~CTcpStream()
{
    Close();
}

int CTcpStream::Connect(const std::string& host, int port, int timeLimitMilliseconds)
{
    if (m_handle < 0 || port < 1 || port > 65535)
        return 0;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<unsigned short>(port));
    if (!ResolveIpv4(host, server.sin_addr))
        return 0;

    int fd = FileDescriptor(m_handle);
    // Connect without blocking so that the wait for the server can be given a time limit.
    if (!SetBlocking(fd, false))
        return 0;
    int result = connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server);
    if (result != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return 0;
        if (!WaitFor(fd, POLLOUT, timeLimitMilliseconds))
            return 0;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
            return 0;
    }
    if (!SetBlocking(fd, true))
        return 0;
    // Commands are single short lines; sending each at once spares the server a delay.
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return 1;
}

int CTcpStream::SendAll(const char* data, std::size_t length, int timeLimitMilliseconds)
{
    if (m_handle < 0)
        return 0;
    int fd = FileDescriptor(m_handle);
    // A zero time-out would mean no limit at all to the socket: such a limit is kept by poll().
    bool socketKeepsLimit = timeLimitMilliseconds > 0;
    if (socketKeepsLimit && timeLimitMilliseconds != m_sendLimitMilliseconds) {
        if (!SetSocketTimeLimit(fd, SO_SNDTIMEO, timeLimitMilliseconds))
            return 0;
        m_sendLimitMilliseconds = timeLimitMilliseconds;
    }
    std::size_t sent = 0;
    while (sent < length) {
        if (!socketKeepsLimit && !WaitFor(fd, POLLOUT, 0)) {
            Close();
            return 0;
        }
        ssize_t piece = send(fd, data + sent, length - sent, kSendFlags);
        if (piece < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // The server took nothing for a whole time limit.
                Close();
                return 0;
            }
            // The server has gone; the receive that follows reports it.
            return 0;
        }
        sent += static_cast<std::size_t>(piece);
    }
    return 1;
}

int CTcpStream::Receive(char* area, int capacity, int timeLimitMilliseconds)
{
    if (m_handle < 0 || capacity <= 0)
        return -1;
    int fd = FileDescriptor(m_handle);
    bool socketKeepsLimit = timeLimitMilliseconds > 0;
    if (socketKeepsLimit && timeLimitMilliseconds != m_receiveLimitMilliseconds) {
        if (!SetSocketTimeLimit(fd, SO_RCVTIMEO, timeLimitMilliseconds))
            return -1;
        m_receiveLimitMilliseconds = timeLimitMilliseconds;
    }
    for (;;) {
        if (!socketKeepsLimit && !WaitFor(fd, POLLIN, 0))
            return -1;
        ssize_t received = recv(fd, area, static_cast<std::size_t>(capacity), 0);
        if (received >= 0)
            return static_cast<int>(received);
        // EAGAIN: the time limit passed without a byte.
        if (errno != EINTR)
            return -1;
    }
}

void CTcpStream::Close()
{
    if (m_handle >= 0) {
        close(FileDescriptor(m_handle));
        m_handle = -1;
    }
}

bool CTcpStream::IsOpen() const
{
    return m_handle >= 0;
}

std::intptr_t CTcpStream::NativeHandle() const
{
    return m_handle;
}
