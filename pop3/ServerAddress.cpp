// Reading the server text of the settings: plain "host[:port]" as it always was, and the two
// URL forms that ask for TLS.
#include "pop3/ServerAddress.h"

#include <string_view>

#include "message/HeaderFields.h"

namespace {

const int kPop3Port = 110;
// The port of POP3 over TLS: nothing speaks cleartext POP3 there.
const int kPop3TlsPort = 995;

// host and port of "host:port" (the last colon splits them) or of "host" alone, which gets
// defaultPort. 0 when the port part is not a number from 1 to 65535.
int SplitHostAndPort(const std::string& text, int defaultPort, std::string& host, int& port)
{
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        host = text;
        port = defaultPort;
        return 1;
    }
    host = text.substr(0, colon);
    std::string digits = text.substr(colon + 1);
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
