// The blocking TCP stream over IPv4 or IPv6 that the POP3 client talks over, with time limits.
// Declared here for the portable core; implemented once over POSIX sockets and once over Winsock.
#ifndef KELVOR_POP3_TCPSTREAM_H
#define KELVOR_POP3_TCPSTREAM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pop3/TcpAddress.h"

class CTcpStream {
public:
    // A stream with no socket yet: Connect makes one for each address it tries.
    CTcpStream();
    // Closes the socket without sending anything.
    ~CTcpStream();

    CTcpStream(const CTcpStream&) = delete;
    CTcpStream& operator=(const CTcpStream&) = delete;

    // Connects to host and port. host is an IPv4 address in dotted form or an IPv6 address,
    // each exactly as inet_pton reads it, or else a host name, whose IPv6 and IPv4 addresses
    // are all tried in the order InConnectOrder gives. Other numeric forms ("127.1",
    // "2130706433", a zone) and texts that cannot be host names are refused. Gives up after
    // timeLimitMilliseconds in all. 1 or 0.
    int Connect(const std::string& host, int port, int timeLimitMilliseconds);

    // Connects to the first of addresses, tried in the order given, that accepts: each attempt
    // that has not completed after kConnectAttemptDelayMilliseconds is joined by one to the
    // next address, an attempt that fails starts the next at once, the first attempt to
    // complete is kept and the others closed. Gives up after timeLimitMilliseconds in all.
    // 1 or 0. Connect ends here after the look-up; tests give lists of their own.
    int ConnectToAny(const std::vector<TcpAddress>& addresses, int timeLimitMilliseconds);

    // Hands every byte to the transport. Gives up, and closes the stream, when the transport
    // takes nothing for timeLimitMilliseconds or reports an error. 1 when all was sent, else 0.
    int SendAll(const char* data, std::size_t length, int timeLimitMilliseconds);

    // Waits up to timeLimitMilliseconds for bytes and delivers at most capacity of them.
    // Returns the number delivered, 0 when the peer has closed the connection, or -1 on an
    // error, on a closed stream or when the time limit passed without a byte.
    int Receive(char* area, int capacity, int timeLimitMilliseconds);

    // Closes the connection at once; later calls fail without waiting.
    void Close();

    bool IsOpen() const;

    // The platform's socket handle, for the TLS session layered on this stream; -1 when closed.
    std::intptr_t NativeHandle() const;

private:
    // The platform's socket handle (a file descriptor or a SOCKET); -1 when there is none.
    std::intptr_t m_handle;
    // The time limits last given to the socket itself, where the platform keeps them there;
    // -1 while none is set.
    int m_receiveLimitMilliseconds;
    int m_sendLimitMilliseconds;
    // The last receive filled its area, so bytes are likely waiting, where the platform tries
    // a receive before waiting for bytes.
    bool m_receiveFilledArea;
};

#endif
