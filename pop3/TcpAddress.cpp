// The order of the addresses a connect tries (the families interleaved, IPv6 first), and which
// texts may be looked up as host names.
#include "pop3/TcpAddress.h"

std::vector<TcpAddress> InConnectOrder(const std::vector<TcpAddress>& addresses)
{
    std::vector<TcpAddress> ipv6;
    std::vector<TcpAddress> ipv4;
    for (const TcpAddress& address : addresses)
        (address.ipv6 ? ipv6 : ipv4).push_back(address);
    std::vector<TcpAddress> ordered;
    ordered.reserve(addresses.size());
    for (std::size_t i = 0; i < ipv6.size() || i < ipv4.size(); ++i) {
        if (i < ipv6.size())
            ordered.push_back(ipv6[i]);
        if (i < ipv4.size())
            ordered.push_back(ipv4[i]);
    }
    return ordered;
}

bool MayBeHostName(const std::string& text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        bool allowed = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '.' || byte == '_' || byte >= 0x80;
        if (!allowed)
            return false;
    }
    return true;
}
