// Our own check of the certificate a TLS server presented: its chain must lead to one of the
// trusted roots of the current user with no fault anywhere, and it must name the server.
// Schannel is told to leave this to us, because not every implementation of it checks.
#ifndef KELVOR_PLATFORM_WIN32_SERVERCERTIFICATE_H
#define KELVOR_PLATFORM_WIN32_SERVERCERTIFICATE_H

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

// The bytes of host when it is an IPv4 or IPv6 address in its exact form (4 or 16 of them, in
// network order); empty for a host name.
std::vector<unsigned char> AddressOfLiteral(const std::string& host);

// 1 when certificate (with the intermediates the server sent in its store) proves the server
// host. When address is not empty the host is that address, and one of the certificate's
// address entries must hold it: Windows does not match addresses everywhere, so that check is
// ours. 0 with a short English reason for the first fault found ("untrusted root", "expired",
// "name mismatch", "partial chain", "revoked", ...). Fetching what the chain needs from the
// network (a missing root or intermediate) may take up to timeLimitMilliseconds.
int CheckServerCertificate(PCCERT_CONTEXT certificate, const std::wstring& host,
                           const std::vector<unsigned char>& address, int timeLimitMilliseconds,
                           std::string& reason);

#endif
