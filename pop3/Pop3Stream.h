// The one stream a POP3 conversation talks over: a TCP connection, and TLS layered on it when
// the server text asks for it. The dialogue sends and receives through it the same way either
// way, with the same time limits and the same meaning of a receive that delivers nothing.
#ifndef KELVOR_POP3_POP3STREAM_H
#define KELVOR_POP3_POP3STREAM_H

#include <cstddef>
#include <string>

#include "pop3/TcpStream.h"
#include "pop3/TlsSession.h"

class CPop3Stream {
public:
    CPop3Stream() = default;
    // Closes the connection without sending anything.
    ~CPop3Stream();

    CPop3Stream(const CPop3Stream&) = delete;
    CPop3Stream& operator=(const CPop3Stream&) = delete;

    // As CTcpStream::Connect: cleartext until StartTls.
    int Connect(const std::string& host, int port, int timeLimitMilliseconds);
    // Runs the TLS handshake on the connection; from then on every send and receive is
    // encrypted. 1, or 0 with the failure kind and reason and the connection closed, so that
    // nothing is ever sent in cleartext after TLS was asked for.
    int StartTls(const std::string& host, int timeLimitMilliseconds, TlsFailure& failure,
                 std::string& reason);

    // CTcpStream's contracts, over TLS once it has started.
    int SendAll(const char* data, std::size_t length, int timeLimitMilliseconds);
    int Receive(char* area, int capacity, int timeLimitMilliseconds);
    void Close();
    bool IsOpen() const;

private:
    CTcpStream m_tcp;
    CTlsSession m_tls;
    bool m_encrypted = false;
};

#endif
