// The stream of a POP3 conversation: TCP alone, or TCP with a TLS session on it.
#include "pop3/Pop3Stream.h"

CPop3Stream::~CPop3Stream()
{
    Close();
}

int CPop3Stream::Connect(const std::string& host, int port, int timeLimitMilliseconds)
{
    return m_tcp.Connect(host, port, timeLimitMilliseconds);
}

int CPop3Stream::StartTls(const std::string& host, int timeLimitMilliseconds, TlsFailure& failure,
                          std::string& reason)
{
    m_encrypted = true;
    if (m_tls.Handshake(m_tcp, host, timeLimitMilliseconds, failure, reason))
        return 1;
    Close();
    return 0;
}

int CPop3Stream::SendAll(const char* data, std::size_t length, int timeLimitMilliseconds)
{
    if (m_encrypted)
        return m_tls.SendAll(data, length, timeLimitMilliseconds);
    return m_tcp.SendAll(data, length, timeLimitMilliseconds);
}

int CPop3Stream::Receive(char* area, int capacity, int timeLimitMilliseconds)
{
    if (m_encrypted)
        return m_tls.Receive(area, capacity, timeLimitMilliseconds);
    return m_tcp.Receive(area, capacity, timeLimitMilliseconds);
}

void CPop3Stream::Close()
{
    m_tls.Close();
    m_tcp.Close();
}

bool CPop3Stream::IsOpen() const
{
    return m_encrypted ? m_tls.IsOpen() && m_tcp.IsOpen() : m_tcp.IsOpen();
}
