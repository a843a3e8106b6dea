// The TCP stream of the POP3 client over POSIX sockets. The socket's own receive and send
// time-outs limit each wait (one system call per receive, which matters when a listing makes
// thousands of round trips); poll() limits the connect, which tries the server's addresses side
// by side after a name look-up kept within the same limit (pop3/HostLookup.h). Sends never raise
// SIGPIPE, so a server that has gone away cannot end the program.
#include "pop3/TcpStream.h"
#include "pop3/HostLookup.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

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

// The socket address of address; its length.
socklen_t ToSocketAddress(const TcpAddress& address, sockaddr_storage& server)
{
    if (address.ipv6) {
        auto& ipv6 = reinterpret_cast<sockaddr_in6&>(server);
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(static_cast<unsigned short>(address.port));
        std::memcpy(&ipv6.sin6_addr, address.bytes.data(), sizeof ipv6.sin6_addr);
        return sizeof ipv6;
    }
    auto& ipv4 = reinterpret_cast<sockaddr_in&>(server);
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(static_cast<unsigned short>(address.port));
    std::memcpy(&ipv4.sin_addr, address.bytes.data(), sizeof ipv4.sin_addr);
    return sizeof ipv4;
}

// The addresses of host (their ports left 0): an address in its exact form as it stands, else
// every address the look-up finds for the host name within timeLimitMilliseconds. 0 when there
// is none.
int ResolveHost(const std::string& host, int timeLimitMilliseconds, std::vector<TcpAddress>& addresses)
{
    TcpAddress literal;
    if (inet_pton(AF_INET, host.c_str(), literal.bytes.data()) == 1) {
        addresses.push_back(literal);
        return 1;
    }
    if (inet_pton(AF_INET6, host.c_str(), literal.bytes.data()) == 1) {
        literal.ipv6 = true;
        addresses.push_back(literal);
        return 1;
    }
    if (!MayBeHostName(host))
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // The look-up reads numbers in looser forms too ("127.1", "2130706433", "0x7f.1"); they
    // name no address plainly and are refused rather than looked up.
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0) {
        freeaddrinfo(found);
        return 0;
    }
    return LookUpHost(host, timeLimitMilliseconds, addresses);
}

}  // namespace

int SystemHostLookup(const std::string& host, std::vector<TcpAddress>& addresses)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return 0;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        TcpAddress address;
        if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
            std::memcpy(address.bytes.data(), &reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr, 4);
            addresses.push_back(address);
        } else if (entry->ai_family == AF_INET6 && entry->ai_addr != nullptr) {
            address.ipv6 = true;
            std::memcpy(address.bytes.data(), &reinterpret_cast<sockaddr_in6*>(entry->ai_addr)->sin6_addr, 16);
            addresses.push_back(address);
        }
    }
    freeaddrinfo(found);
    return addresses.empty() ? 0 : 1;
}

namespace {

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

// How an attempt to connect began.
enum class AttemptStart { Failed, Pending, Connected };

// Opens a socket for address and begins connecting it without blocking; fd gets the socket
// unless the attempt failed at once (refused, or a family this machine cannot reach).
AttemptStart StartAttempt(const TcpAddress& address, int& fd)
{
    sockaddr_storage server{};
    socklen_t length = ToSocketAddress(address, server);
    fd = socket(server.ss_family, SOCK_STREAM, 0);
    if (fd < 0)
        return AttemptStart::Failed;
    // The descriptor must not leak into programs this process may start.
    fcntl(fd, F_SETFD, FD_CLOEXEC);
#if defined(SO_NOSIGPIPE)
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    if (SetBlocking(fd, false)) {
        if (connect(fd, reinterpret_cast<sockaddr*>(&server), length) == 0)
            return AttemptStart::Connected;
        // An interrupted connect goes on by itself, as one in progress does.
        if (errno == EINPROGRESS || errno == EINTR)
            return AttemptStart::Pending;
    }
    close(fd);
    fd = -1;
    return AttemptStart::Failed;
}

// Milliseconds from now until then, rounded up so that a wait does not end just before it.
int MillisecondsUntil(Clock::time_point then, Clock::time_point now)
{
    if (then <= now)
        return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(then - now).count());
}

}  // namespace

CTcpStream::CTcpStream()
    : m_handle(-1),
      m_receiveLimitMilliseconds(-1),
      m_sendLimitMilliseconds(-1),
      m_receiveFilledArea(false)
{
}

CTcpStream::~CTcpStream()
{
    Close();
}

int CTcpStream::Connect(const std::string& host, int port, int timeLimitMilliseconds)
{
    Close();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    std::vector<TcpAddress> addresses;
    if (port < 1 || port > 65535 || !ResolveHost(host, timeLimitMilliseconds, addresses))
        return 0;
    for (TcpAddress& address : addresses)
        address.port = port;
    // The look-up has spent part of the time limit; the attempts get what is left of it.
    return ConnectToAny(InConnectOrder(addresses), MillisecondsUntil(deadline, Clock::now()));
}

int CTcpStream::ConnectToAny(const std::vector<TcpAddress>& addresses, int timeLimitMilliseconds)
{
    Close();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    std::vector<pollfd> pending;
    std::size_t next = 0;
    Clock::time_point nextStart = Clock::now();
    int connected = -1;
    while (connected < 0) {
        Clock::time_point now = Clock::now();
        if (next < addresses.size() && (pending.empty() || now >= nextStart)) {
            int fd = -1;
            AttemptStart start = StartAttempt(addresses[next++], fd);
            if (start == AttemptStart::Connected) {
                connected = fd;
            } else if (start == AttemptStart::Pending) {
                pending.push_back(pollfd{fd, POLLOUT, 0});
                nextStart = now + std::chrono::milliseconds(kConnectAttemptDelayMilliseconds);
            }
            continue;
        }
        if (pending.empty() || now >= deadline)
            break;
        Clock::time_point waitEnd = next < addresses.size() && nextStart < deadline ? nextStart : deadline;
        int ready = poll(pending.data(), static_cast<nfds_t>(pending.size()), MillisecondsUntil(waitEnd, now));
        if (ready < 0 && errno != EINTR)
            break;
        for (std::size_t i = pending.size(); ready > 0 && i-- > 0 && connected < 0;) {
            if (pending[i].revents == 0)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(pending[i].fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
                connected = pending[i].fd;
            } else {
                // A refused address gives way to the next one at once.
                close(pending[i].fd);
                pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
                nextStart = now;
            }
        }
    }
    for (const pollfd& attempt : pending) {
        if (attempt.fd != connected)
            close(attempt.fd);
    }
    if (connected < 0)
        return 0;
    m_handle = connected;
    m_receiveLimitMilliseconds = -1;
    m_sendLimitMilliseconds = -1;
    if (!SetBlocking(connected, true)) {
        Close();
        return 0;
    }
    // Commands are single short lines; sending each at once spares the server a delay.
    int on = 1;
    setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
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
