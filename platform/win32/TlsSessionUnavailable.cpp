// The TLS session of the Windows build until it has one of its own: every handshake fails
// with a reason that says so, and nothing is ever sent in cleartext instead.
#include "pop3/TlsSession.h"

struct CTlsSession::Session {
};

CTlsSession::CTlsSession() = default;

CTlsSession::~CTlsSession() = default;

int CTlsSession::Handshake(CTcpStream&, const std::string&, int, TlsFailure& failure,
                           std::string& reason)
{
    failure = TlsFailure::Handshake;
    reason = "TLS is not available in this build";
    return 0;
}

int CTlsSession::SendAll(const char*, std::size_t, int)
{
    return 0;
}

int CTlsSession::Receive(char*, int, int)
{
    return -1;
}

void CTlsSession::Close()
{
    m_session.reset();
}

bool CTlsSession::IsOpen() const
{
    return false;
}
