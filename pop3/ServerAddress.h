// The server text of the settings read as a host, a port and the kind of connection: cleartext
// POP3, TLS from the first byte, or cleartext upgraded with STLS.
#ifndef KELVOR_POP3_SERVERADDRESS_H
#define KELVOR_POP3_SERVERADDRESS_H

#include <string>

enum class ConnectionKind { Cleartext, Tls, StartTls };

struct ServerAddress {
    std::string host;
    int port = 0;
    ConnectionKind kind = ConnectionKind::Cleartext;
};

// Reads one of these forms (the scheme in any letter case, a trailing "/" allowed after it):
//   host, host:port               cleartext on port 110 or the port given; port 995 means TLS
//   pop3s://host[:port]           TLS from the first byte, port 995 unless given
//   pop3+starttls://host[:port]   cleartext, upgraded with STLS before the login, port 110
// where host may be an IPv6 address in brackets ("[2001:db8::1]:1110"); host then holds it
// without them. 1 with address filled; 0 for an unknown scheme, an empty host after a scheme,
// a port that is not a number from 1 to 65535, a bracket not closed or followed by anything
// but ":port", a zone in brackets or a colon in a host outside brackets. A plain text with an
// empty host is left for the connect to refuse, as it always was.
int ParseServerText(const std::string& text, ServerAddress& address);

#endif
