// The TCP stream of the POP3 client over Windows Sockets: the socket stays non-blocking and
// select() gives connect, each send and each receive its time limit; addresses come from
// inet_addr, host names from gethostbyname.
#include "pop3/TcpStream.h"

#include <winsock2.h>

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

// The IPv4 address of a host text: a dotted address as it stands, else the first address
// that a host-name look-up finds.
int ResolveIpv4(const std::string& host, in_addr& address)
{
    if (host.empty())
        return 0;
    unsigned long dotted = inet_addr(host.c_str());
    if (dotted != INADDR_NONE) {
        address.s_addr = dotted;
        return 1;
    }
    hostent* entry = gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr)
        return 0;
    std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    return 1;
}

}  // namespace

CTcpStream::CTcpStream()
    : m_handle(-1),
      m_receiveLimitMilliseconds(-1),
      m_sendLimitMilliseconds(-1)
{
    SOCKET created = socket(AF_INET, SOCK_STREAM, 0);
    if (created != INVALID_SOCKET)
        m_handle = static_cast<std::intptr_t>(created);
}

CTcpStream::~CTcpStream()
{
    Close();
}

int CTcpStream::Connect(const std::string& host, int port, int timeLimitMilliseconds)
{
    if (m_handle == -1 || port < 1 || port > 65535)
        return 0;
    sockaddr_in server;
    std::memset(&server, 0, sizeof server);
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<unsigned short>(port));
    if (!ResolveIpv4(host, server.sin_addr))
        return 0;

    SOCKET socketHandle = SocketOf(m_handle);
    // Without blocking, every wait for the server goes through select() and its time limit.
    u_long nonBlocking = 1;
    if (ioctlsocket(socketHandle, FIONBIO, &nonBlocking) != 0)
        return 0;
    if (connect(socketHandle, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return 0;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socketHandle, &writable);
        FD_SET(socketHandle, &failed);
        timeval limit = TimeLimit(timeLimitMilliseconds);
        // A refused connection is reported in the exception set, a made one in the write set.
        if (select(0, nullptr, &writable, &failed, &limit) <= 0 ||
            FD_ISSET(socketHandle, &failed) || !FD_ISSET(socketHandle, &writable))
            return 0;
    }
    return 1;
}

int CTcpStream::SendAll(const char* data, std::size_t length, int timeLimitMilliseconds)
{
    if (m_handle == -1)
        return 0;
    SOCKET socketHandle = SocketOf(m_handle);
    std::size_t sent = 0;
    while (sent < length) {
        if (!WaitFor(socketHandle, true, timeLimitMilliseconds)) {
            Close();
            return 0;
        }
        std::size_t left = length - sent;
        int piece = send(socketHandle, data + sent, left > 65536 ? 65536 : static_cast<int>(left), 0);
        if (piece == SOCKET_ERROR) {
            // The transport took nothing this time: wait again for room.
            if (WSAGetLastError() == WSAEWOULDBLOCK || WSAGetLastError() == WSAEINTR)
                continue;
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
        if (!WaitFor(socketHandle, false, timeLimitMilliseconds))
            return -1;
        int received = recv(socketHandle, area, capacity, 0);
        if (received != SOCKET_ERROR)
            return received;
        // A readiness that vanished before the receive: wait again.
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            return -1;
    }
}

void CTcpStream::Close()
{
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
