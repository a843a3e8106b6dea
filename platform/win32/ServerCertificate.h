// Our own check of the certificate a TLS server presented: its chain must lead to one of the
// trusted roots of the current user with no fault anywhere, and it must name the server.
// Schannel is told to leave this to us, because not every implementation of it checks.
#ifndef KELVOR_PLATFORM_WIN32_SERVERCERTIFICATE_H
#define KELVOR_PLATFORM_WIN32_SERVERCERTIFICATE_H

#include <windows.h>
#include <wincrypt.h>

#include <string>

// 1 when certificate (with the intermediates the server sent in its store) proves the server
// host; 0 with a short English reason for the first fault found ("untrusted root", "expired",
// "name mismatch", "partial chain", "revoked", ...). Fetching what the chain needs from the
// network (a missing root or intermediate) may take up to timeLimitMilliseconds.
int CheckServerCertificate(PCCERT_CONTEXT certificate, const std::wstring& host,
                           int timeLimitMilliseconds, std::string& reason);

#endif
