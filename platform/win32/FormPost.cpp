// A small HTTP/1.1 client for the token requests of signing in: one POST per connection over
// CTcpStream, with CTlsSession on top for https:, so that the certificate checks, the TLS
// versions and the time limits are the POP3 connection's own.
#include "platform/win32/FormPost.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "pop3/TcpStream.h"
#include "pop3/TlsSession.h"

namespace {

using Clock = std::chrono::steady_clock;

// The status line and the header lines of an answer may take this much beside the body.
constexpr std::size_t kMaxHeaderBytes = 16 * 1024;
constexpr std::size_t kReadChunk = 4096;

std::string Lower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool AllDigits(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The plain or the encrypted connection, one interface for the request.
class Connection {
public:
    int Open(const WebAddress& address, Clock::time_point deadline, std::string& reason)
    {
        if (!m_tcp.Connect(address.host, address.port, MillisecondsLeft(deadline))) {
            reason = "the server could not be reached";
            return 0;
        }
        if (!address.secure)
            return 1;
        TlsFailure failure = TlsFailure::None;
        std::string why;
        if (!m_tls.Handshake(m_tcp, address.host, MillisecondsLeft(deadline), failure, why)) {
            reason = (failure == TlsFailure::Certificate ? "the server's certificate was refused: "
                                                         : "the TLS handshake failed: ") + why;
            return 0;
        }
        m_secure = true;
        return 1;
    }
    int SendAll(const std::string& data, Clock::time_point deadline)
    {
        const int left = MillisecondsLeft(deadline);
        return m_secure ? m_tls.SendAll(data.data(), data.size(), left)
                        : m_tcp.SendAll(data.data(), data.size(), left);
    }
    int Receive(char* area, int capacity, Clock::time_point deadline)
    {
        const int left = MillisecondsLeft(deadline);
        return m_secure ? m_tls.Receive(area, capacity, left) : m_tcp.Receive(area, capacity, left);
    }

private:
    CTcpStream m_tcp;
    CTlsSession m_tls;
    bool m_secure = false;
};

// What is known of the answer so far.
struct Answer {
    bool headerRead = false;
    std::size_t bodyStart = 0;
    int status = 0;
    bool chunked = false;
    bool haveLength = false;
    std::size_t length = 0;
};

// Reads the header block at the start of raw when it has arrived whole: 1 when read (1xx
// answers are dropped from raw), 0 when more is needed, -1 with reason when it is malformed.
int ReadHeader(std::string& raw, Answer& answer, std::string& reason)
{
    for (;;) {
        // A server that speaks something else is known by its first bytes.
        const std::size_t start = raw.size() < 7 ? raw.size() : 7;
        if (raw.compare(0, start, std::string("HTTP/1.").substr(0, start)) != 0) {
            reason = "the server did not answer in HTTP";
            return -1;
        }
        const std::size_t end = raw.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (raw.size() > kMaxHeaderBytes) {
                reason = "the server's answer has too long a header";
                return -1;
            }
            return 0;
        }
        const std::size_t lineEnd = raw.find("\r\n");
        const std::string statusLine = raw.substr(0, lineEnd);
        if (statusLine.compare(0, 7, "HTTP/1.") != 0 || statusLine.size() < 12 || statusLine[8] != ' ' ||
            !AllDigits(statusLine.substr(9, 3))) {
            reason = "the server did not answer in HTTP";
            return -1;
        }
        answer.status = std::atoi(statusLine.substr(9, 3).c_str());
        if (answer.status >= 100 && answer.status < 200) {
            raw.erase(0, end + 4);
            continue;
        }
        std::size_t position = lineEnd + 2;
        while (position < end) {
            std::size_t next = raw.find("\r\n", position);
            const std::string line = raw.substr(position, next - position);
            position = next + 2;
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            const std::string name = Lower(line.substr(0, colon));
            std::string value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.erase(0, 1);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.pop_back();
            if (name == "transfer-encoding" && Lower(value).find("chunked") != std::string::npos)
                answer.chunked = true;
            if (name == "content-length") {
                if (!AllDigits(value) || value.size() > 9) {
                    reason = "the server's answer has a bad length";
                    return -1;
                }
                answer.haveLength = true;
                answer.length = static_cast<std::size_t>(std::atol(value.c_str()));
            }
        }
        answer.headerRead = true;
        answer.bodyStart = end + 4;
        return 1;
    }
}

// Joins the chunks of a chunked body: 1 when the last chunk has come, with body set; 0 when
// more is needed; -1 with reason when the chunks are malformed.
int JoinChunks(const std::string& raw, std::size_t position, std::string& body, std::string& reason)
{
    body.clear();
    for (;;) {
        const std::size_t lineEnd = raw.find("\r\n", position);
        if (lineEnd == std::string::npos)
            return 0;
        std::string sizeText = raw.substr(position, lineEnd - position);
        const std::size_t extension = sizeText.find(';');
        if (extension != std::string::npos)
            sizeText.erase(extension);
        while (!sizeText.empty() && sizeText.back() == ' ')
            sizeText.pop_back();
        if (sizeText.empty() || sizeText.size() > 7 ||
            sizeText.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            reason = "the server's answer has a bad chunk";
            return -1;
        }
        const std::size_t size = std::strtoul(sizeText.c_str(), nullptr, 16);
        if (size == 0)
            return 1;
        const std::size_t dataStart = lineEnd + 2;
        if (raw.size() < dataStart + size + 2)
            return 0;
        body.append(raw, dataStart, size);
        position = dataStart + size + 2;
    }
}

}  // namespace

bool IsLoopbackHost(const std::string& host)
{
    if (Lower(host) == "localhost" || host == "::1")
        return true;
    // 127.x.x.x in the exact dotted form only.
    int parts = 0;
    std::size_t start = 0;
    while (start <= host.size()) {
        std::size_t dot = host.find('.', start);
        if (dot == std::string::npos)
            dot = host.size();
        const std::string part = host.substr(start, dot - start);
        if (!AllDigits(part) || part.size() > 3 || std::atoi(part.c_str()) > 255 || (parts == 0 && part != "127"))
            return false;
        ++parts;
        start = dot + 1;
    }
    return parts == 4;
}

int ParseWebAddress(const std::string& url, WebAddress& address, std::string& reason)
{
    address = WebAddress();
    std::size_t position = url.find("://");
    const std::string scheme = position == std::string::npos ? std::string() : Lower(url.substr(0, position));
    if (scheme != "https" && scheme != "http") {
        reason = "the address is neither https: nor http:";
        return 0;
    }
    address.secure = scheme == "https";
    position += 3;
    std::size_t authorityEnd = url.find_first_of("/?#", position);
    if (authorityEnd == std::string::npos)
        authorityEnd = url.size();
    const std::string authority = url.substr(position, authorityEnd - position);
    address.target = url.substr(authorityEnd);
    if (address.target.find('#') != std::string::npos || authority.find('@') != std::string::npos) {
        reason = "the address has parts a token endpoint cannot have";
        return 0;
    }
    if (address.target.empty() || address.target.front() == '?')
        address.target.insert(0, "/");
    std::string portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) {
            reason = "the address has a bad host";
            return 0;
        }
        address.host = authority.substr(1, close - 1);
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            reason = "the address has a bad host";
            return 0;
        }
        if (!rest.empty())
            portText = rest.substr(1);
        else
            portText = address.secure ? "443" : "80";
    } else {
        const std::size_t colon = authority.find(':');
        address.host = authority.substr(0, colon);
        portText = colon == std::string::npos ? (address.secure ? "443" : "80") : authority.substr(colon + 1);
    }
    if (address.host.empty() || address.host.find_first_of(" \t\r\n%") != std::string::npos) {
        reason = "the address has a bad host";
        return 0;
    }
    if (!AllDigits(portText) || portText.size() > 5 || std::atoi(portText.c_str()) < 1 ||
        std::atoi(portText.c_str()) > 65535) {
        reason = "the address has a bad port";
        return 0;
    }
    address.port = std::atoi(portText.c_str());
    if (address.target.find_first_of(" \t\r\n") != std::string::npos) {
        reason = "the address has a bad path";
        return 0;
    }
    return 1;
}

int PostFormOverStream(const std::string& url, const std::string& body, int timeLimitMilliseconds,
                       std::size_t maxBytes, HttpResponse& response, std::string& reason)
{
    response = HttpResponse();
    WebAddress address;
    if (!ParseWebAddress(url, address, reason))
        return 0;
    if (!address.secure && !IsLoopbackHost(address.host)) {
        reason = "http: is allowed to a loopback address only";
        return 0;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeLimitMilliseconds);
    Connection connection;
    if (!connection.Open(address, deadline, reason))
        return 0;

    const bool defaultPort = address.port == (address.secure ? 443 : 80);
    const std::string hostField = (address.host.find(':') != std::string::npos ? "[" + address.host + "]"
                                                                                 : address.host) +
                                  (defaultPort ? std::string() : ":" + std::to_string(address.port));
    const std::string request = "POST " + address.target + " HTTP/1.1\r\nHost: " + hostField +
                                "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                                "Accept: application/json\r\nUser-Agent: Kelvor\r\nConnection: close\r\n"
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    if (!connection.SendAll(request, deadline)) {
        reason = MillisecondsLeft(deadline) == 0 ? kTlsReasonTimedOut : "the request could not be sent";
        return 0;
    }

    std::string raw;
    Answer answer;
    char area[kReadChunk];
    for (;;) {
        const int received = connection.Receive(area, static_cast<int>(sizeof area), deadline);
        const bool closed = received == 0;
        if (received < 0) {
            reason = MillisecondsLeft(deadline) == 0 ? kTlsReasonTimedOut : "the connection failed";
            return 0;
        }
        raw.append(area, static_cast<std::size_t>(received));
        if (!answer.headerRead) {
            const int header = ReadHeader(raw, answer, reason);
            if (header < 0)
                return 0;
            if (header == 0) {
                if (closed) {
                    reason = kTlsReasonClosedByServer;
                    return 0;
                }
                continue;
            }
        }
        // The body as sent, chunks and all, may hold a little more than the body itself.
        if (raw.size() - answer.bodyStart > maxBytes + maxBytes / 8 + 64 ||
            (answer.haveLength && answer.length > maxBytes)) {
            reason = "the server's answer is larger than " + std::to_string(maxBytes) + " bytes";
            return 0;
        }
        if (answer.chunked) {
            const int joined = JoinChunks(raw, answer.bodyStart, response.body, reason);
            if (joined < 0)
                return 0;
            if (joined > 0)
                break;
        } else if (answer.haveLength && raw.size() - answer.bodyStart >= answer.length) {
            response.body = raw.substr(answer.bodyStart, answer.length);
            break;
        } else if (closed && !answer.haveLength) {
            response.body = raw.substr(answer.bodyStart);
            break;
        }
        if (closed) {
            reason = "the server closed the connection before the whole answer had come";
            return 0;
        }
    }
    if (response.body.size() > maxBytes) {
        reason = "the server's answer is larger than " + std::to_string(maxBytes) + " bytes";
        response = HttpResponse();
        return 0;
    }
    response.status = answer.status;
    return 1;
}
