// One address of a server as the look-up gives it (IPv4 or IPv6, with the port), and the order
// in which a connect tries several of them.
#ifndef KELVOR_POP3_TCPADDRESS_H
#define KELVOR_POP3_TCPADDRESS_H

#include <array>
#include <string>
#include <vector>

struct TcpAddress {
    bool ipv6 = false;
    // The address in network byte order: the first 4 bytes for IPv4, all 16 for IPv6.
    std::array<unsigned char, 16> bytes{};
    int port = 0;
};

// A connect that has not completed after this long is joined by one to the next address; the
// earlier attempts go on, and the first to complete is kept.
inline constexpr int kConnectAttemptDelayMilliseconds = 250;

// The addresses in the order a connect tries them: IPv6 first, then the families alternating,
// each family in the order the look-up gave it (the system has sorted them by preference).
// With IPv6 broken somewhere on the way, an IPv4 address is then tried 250 ms later instead
// of after every IPv6 address has timed out.
std::vector<TcpAddress> InConnectOrder(const std::vector<TcpAddress>& addresses);

// Whether text may be looked up as a host name: letters, digits, "-", "." and "_", and bytes
// beyond ASCII for names in other scripts. Spaces, controls and other signs never are; a text
// such as "127.0.0.2 x" is refused rather than handed to the look-up.
bool MayBeHostName(const std::string& text);

#endif
