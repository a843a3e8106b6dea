// Reading the server text of the settings: plain "host[:port]" as it always was, the two URL
// forms that ask for TLS, and IPv6 addresses in brackets in each of them.
#include "pop3/ServerAddress.h"

#include <string_view>

#include "message/HeaderFields.h"

namespace {

const int kPop3Port = 110;
// The port of POP3 over TLS: nothing speaks cleartext POP3 there.
const int kPop3TlsPort = 995;

// The port of ":port" text (digits alone, from 1 to 65535); 0 when it is no such number.
int ReadPort(const std::string& digits, int& port)
{
    if (digits.empty() || digits.size() > 5)
        return 0;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return 0;
    port = value;
    return 1;
}

// Whether the text between brackets can be an IPv6 address: hexadecimal digits and colons, an
// IPv4 tail in dots, at least one colon. The stream accepts it only in its exact form; a zone
// ("%eth0") is refused here, as a link-local address names no mail server.
bool MayBeIpv6Literal(const std::string& text)
{
    if (text.find(':') == std::string::npos)
        return false;
    for (char c : text) {
        bool hexadecimal = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hexadecimal && c != ':' && c != '.')
            return false;
    }
    return true;
}

// host and port of "host:port" (the last colon splits them), of "[ipv6]:port", or of "host" or
// "[ipv6]" alone, which get defaultPort. The brackets are not part of the host. 0 when the port
// part is not a number from 1 to 65535, when a bracket is not closed, when anything but ":port"
// follows it, or when a host holds a colon outside brackets (an IPv6 address written bare).
int SplitHostAndPort(const std::string& text, int defaultPort, std::string& host, int& port)
{
    std::string after;
    if (!text.empty() && text[0] == '[') {
        std::size_t close = text.find(']');
        if (close == std::string::npos)
            return 0;
        host = text.substr(1, close - 1);
        if (!MayBeIpv6Literal(host))
            return 0;
        after = text.substr(close + 1);
        if (!after.empty() && after[0] != ':')
            return 0;
    } else {
        std::size_t colon = text.rfind(':');
        host = text.substr(0, colon);
        if (host.find_first_of(":[]") != std::string::npos)
            return 0;
        if (colon != std::string::npos)
            after = text.substr(colon);
    }
    if (after.empty()) {
        port = defaultPort;
        return 1;
    }
    return ReadPort(after.substr(1), port);
}

}  // namespace

int ParseServerText(const std::string& text, ServerAddress& address)
{
    std::size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos) {
        if (!SplitHostAndPort(text, kPop3Port, address.host, address.port))
            return 0;
        address.kind = address.port == kPop3TlsPort ? ConnectionKind::Tls : ConnectionKind::Cleartext;
        return 1;
    }
    std::string_view scheme = std::string_view(text).substr(0, schemeEnd);
    int defaultPort = 0;
    if (EqualsIgnoringCase(scheme, "pop3s")) {
        address.kind = ConnectionKind::Tls;
        defaultPort = kPop3TlsPort;
    } else if (EqualsIgnoringCase(scheme, "pop3+starttls")) {
        address.kind = ConnectionKind::StartTls;
        defaultPort = kPop3Port;
    } else {
        return 0;
    }
    std::string rest = text.substr(schemeEnd + 3);
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    // A path, a user name or a second slash is no part of a server address.
    if (rest.find_first_of("/@") != std::string::npos)
        return 0;
    if (!SplitHostAndPort(rest, defaultPort, address.host, address.port) || address.host.empty())
        return 0;
    return 1;
}
