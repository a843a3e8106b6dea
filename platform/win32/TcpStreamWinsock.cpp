// The TCP stream of the POP3 client over Windows Sockets: the socket stays non-blocking and
// select() gives connect, each send and each receive its time limit; addresses come from
// inet_pton, host names from getaddrinfo on a thread of its own, kept within the connect's time
// limit (pop3/HostLookup.h), and the connect tries the addresses side by side.
#include "pop3/TcpStream.h"
#include "pop3/HostLookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <chrono>
#include <cstring>

namespace {

SOCKET SocketOf(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

timeval TimeLimit(int timeLimitMilliseconds)
{
    if (timeLimitMilliseconds < 0)
        timeLimitMilliseconds = 0;
    timeval limit;
    limit.tv_sec = timeLimitMilliseconds / 1000;
    limit.tv_usec = (timeLimitMilliseconds % 1000) * 1000;
    return limit;
}

// Waits until the socket can be read (or written); 1 when ready, 0 on time out or error.
int WaitFor(SOCKET socketHandle, bool forWriting, int timeLimitMilliseconds)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(socketHandle, &ready);
    timeval limit = TimeLimit(timeLimitMilliseconds);
    int result = forWriting ? select(0, nullptr, &ready, nullptr, &limit)
                            : select(0, &ready, nullptr, nullptr, &limit);
    return result > 0 ? 1 : 0;
}

// The socket address of address; its length.
int ToSocketAddress(const TcpAddress& address, sockaddr_storage& server)
{
    std::memset(&server, 0, sizeof server);
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
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // The look-up reads numbers in looser forms too ("127.1", "2130706433"); they name no
    // address plainly and are refused rather than looked up.
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
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
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

// How an attempt to connect began.
enum class AttemptStart { Failed, Pending, Connected };

// Opens a non-blocking socket for address and begins connecting it; socketHandle gets the
// socket unless the attempt failed at once (refused, or a family this machine cannot reach).
AttemptStart StartAttempt(const TcpAddress& address, SOCKET& socketHandle)
{
    sockaddr_storage server;
    int length = ToSocketAddress(address, server);
    socketHandle = socket(server.ss_family, SOCK_STREAM, 0);
    if (socketHandle == INVALID_SOCKET)
        return AttemptStart::Failed;
    // Without blocking, every wait for the server goes through select() and its time limit.
    u_long nonBlocking = 1;
    if (ioctlsocket(socketHandle, FIONBIO, &nonBlocking) == 0) {
        if (connect(socketHandle, reinterpret_cast<sockaddr*>(&server), length) == 0)
            return AttemptStart::Connected;
        if (WSAGetLastError() == WSAEWOULDBLOCK)
            return AttemptStart::Pending;
    }
    closesocket(socketHandle);
    socketHandle = INVALID_SOCKET;
    return AttemptStart::Failed;
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    std::vector<TcpAddress> addresses;
    if (port < 1 || port > 65535 || !ResolveHost(host, timeLimitMilliseconds, addresses))
        return 0;
    for (TcpAddress& address : addresses)
        address.port = port;
    // The look-up has spent part of the time limit; the attempts get what is left of it.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return ConnectToAny(InConnectOrder(addresses), left > 0 ? static_cast<int>(left) : 0);
}

int CTcpStream::ConnectToAny(const std::vector<TcpAddress>& addresses, int timeLimitMilliseconds)
{
    using Clock = std::chrono::steady_clock;
    Close();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    std::vector<SOCKET> pending;
    std::size_t next = 0;
    Clock::time_point nextStart = Clock::now();
    SOCKET connected = INVALID_SOCKET;
    while (connected == INVALID_SOCKET) {
        Clock::time_point now = Clock::now();
        // select() watches at most FD_SETSIZE sockets; more attempts wait for a place.
        if (next < addresses.size() && pending.size() < FD_SETSIZE && (pending.empty() || now >= nextStart)) {
            SOCKET attempt = INVALID_SOCKET;
            AttemptStart start = StartAttempt(addresses[next++], attempt);
            if (start == AttemptStart::Connected) {
                connected = attempt;
            } else if (start == AttemptStart::Pending) {
                pending.push_back(attempt);
                nextStart = now + std::chrono::milliseconds(kConnectAttemptDelayMilliseconds);
            }
            continue;
        }
        if (pending.empty() || now >= deadline)
            break;
        Clock::time_point waitEnd = next < addresses.size() && nextStart < deadline ? nextStart : deadline;
        auto wait = std::chrono::ceil<std::chrono::milliseconds>(waitEnd - now).count();
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        for (SOCKET attempt : pending) {
            FD_SET(attempt, &writable);
            FD_SET(attempt, &failed);
        }
        timeval limit = TimeLimit(static_cast<int>(wait));
        // A refused connection is reported in the exception set, a made one in the write set.
        if (select(0, nullptr, &writable, &failed, &limit) < 0)
            break;
        for (std::size_t i = pending.size(); i-- > 0 && connected == INVALID_SOCKET;) {
            if (FD_ISSET(pending[i], &failed)) {
                // A refused address gives way to the next one at once.
                closesocket(pending[i]);
                pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
                nextStart = now;
            } else if (FD_ISSET(pending[i], &writable)) {
                connected = pending[i];
            }
        }
    }
    for (SOCKET attempt : pending) {
        if (attempt != connected)
            closesocket(attempt);
    }
    if (connected == INVALID_SOCKET)
        return 0;
    // Commands are short lines, and those sent ahead go while earlier ones wait for their
    // replies: each goes at once rather than waiting for the server's acknowledgement.
    BOOL on = TRUE;
    setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    m_handle = static_cast<std::intptr_t>(connected);
    return 1;
}

int CTcpStream::SendAll(const char* data, std::size_t length, int timeLimitMilliseconds)
{
    if (m_handle == -1)
        return 0;
    SOCKET socketHandle = SocketOf(m_handle);
    std::size_t sent = 0;
    while (sent < length) {
        // The socket does not block: the send is tried first and select() waits only when the
        // transport has no room, which saves a call per send (under Wine, a request to its
        // server) in the usual case of room enough.
        std::size_t left = length - sent;
        int piece = send(socketHandle, data + sent, left > 65536 ? 65536 : static_cast<int>(left), 0);
        if (piece == SOCKET_ERROR) {
            // The transport took nothing this time: wait for room.
            if (WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAEINTR) {
                if (!WaitFor(socketHandle, true, timeLimitMilliseconds)) {
                    Close();
                    return 0;
                }
                continue;
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
    if (m_handle == -1 || capacity <= 0)
        return -1;
    SOCKET socketHandle = SocketOf(m_handle);
    for (;;) {
        // A receive that filled the area most likely left bytes waiting: the next one is tried
        // at once, and select() waits only when none are there. Under Wine this saves a
        // request to its server for every area's worth of a long run of replies.
        if (!m_receiveFilledArea && !WaitFor(socketHandle, false, timeLimitMilliseconds))
            return -1;
        m_receiveFilledArea = false;
        int received = recv(socketHandle, area, capacity, 0);
        if (received != SOCKET_ERROR) {
            m_receiveFilledArea = received == capacity;
            return received;
        }
        // A readiness that vanished before the receive: wait again.
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return -1;
    }
}

void CTcpStream::Close()
{
    m_receiveFilledArea = false;
    if (m_handle != -1) {
        closesocket(SocketOf(m_handle));
        m_handle = -1;
    }
}

bool CTcpStream::IsOpen() const
{
    return m_handle != -1;
}

std::intptr_t CTcpStream::NativeHandle() const
{
    return m_handle;
}
