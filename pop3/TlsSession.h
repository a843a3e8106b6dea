// TLS over a connected TCP stream: the client's handshake with the server's certificate
// verified, then encrypted sends and receives with the stream's time limits. Declared here
// for the portable core, with no library header; each platform implements it with its own
// TLS library, reaching the connected stream through CTcpStream.
#ifndef KELVOR_POP3_TLSSESSION_H
#define KELVOR_POP3_TLSSESSION_H

#include <cstddef>
#include <memory>
#include <string>

class CTcpStream;

// Reasons that every platform gives in the same words, whichever TLS library met the fault.
inline constexpr char kTlsReasonTimedOut[] = "the server did not answer within the time limit";
inline constexpr char kTlsReasonClosedByServer[] = "the server closed the connection";
inline constexpr char kTlsReasonNotConnected[] = "the connection is closed";

// Why a handshake failed: the TLS negotiation itself, or the server's certificate, which the
// system's trusted roots and the host name decide.
enum class TlsFailure { None, Handshake, Certificate };

class CTlsSession {
public:
    CTlsSession();
    // Ends the session without sending anything.
    ~CTlsSession();

    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;

    // Runs the client's handshake over transport, which must be connected and must not have
    // delivered any byte the server sent for TLS. TLS 1.2 at least; the certificate chain must
    // lead to one of the system's trusted roots and name host (an IPv4 or IPv6 address must be
    // one of the certificate's addresses, and is not sent to the server as its name). Gives up
    // when the server has not completed its part within timeLimitMilliseconds. 1 when the
    // session is open; 0 with failure and a reason of one line (the library's words where it
    // gives some), the session then unusable.
    int Handshake(CTcpStream& transport, const std::string& host, int timeLimitMilliseconds,
                  TlsFailure& failure, std::string& reason);

    // The same contracts as CTcpStream's SendAll and Receive, over the encrypted session: a
    // send that makes no progress for the time limit gives up, ends the session and closes the
    // transport; a receive delivers at least one byte, 0 when the server closed the session,
    // or -1 on an error or when the time limit passed without a byte.
    int SendAll(const char* data, std::size_t length, int timeLimitMilliseconds);
    int Receive(char* area, int capacity, int timeLimitMilliseconds);

    // Ends the session at once, without a closing message; later calls fail without waiting.
    void Close();
    bool IsOpen() const;

private:
    // The platform library's session and whatever it needs of the transport.
    struct Session;
    std::unique_ptr<Session> m_session;
};

#endif
