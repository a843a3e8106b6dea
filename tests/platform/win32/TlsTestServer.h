// The Dovecot that scripts/test-windows runs beside Wine for the TLS tests: a native process on
// the loopback addresses (see tools/dovecot/dovecot.sh --tls), named by the environment. Its
// certificates come from a test CA, which the tests add to the current user's trusted roots.
#ifndef KELVOR_TESTS_PLATFORM_WIN32_TLSTESTSERVER_H
#define KELVOR_TESTS_PLATFORM_WIN32_TLSTESTSERVER_H

#include <string>

struct TlsTestServer {
    int port = 0;     // cleartext, with STLS
    int tlsPort = 0;  // TLS from the first byte
    std::string user;
    std::string password;
};

// Reads the server from KELVOR_DOVECOT_PORT, KELVOR_DOVECOT_TLS_PORT, KELVOR_DOVECOT_USER,
// KELVOR_DOVECOT_PASSWORD and puts the CA in KELVOR_DOVECOT_CA (a certificate file in PEM
// form) among the current user's trusted roots. false with the reason when something is missing.
bool FindTlsTestServer(TlsTestServer& server, std::string& error);

// The second Dovecot beside Wine, which takes bearer tokens from the test authorization server
// (tools/dovecot/dovecot.sh --oauth2), with refresh tokens longer than one credential holds.
struct SignInTestServer {
    int port = 0;  // cleartext POP3
    std::string user;
    std::string authorizationServer;  // "http://127.0.0.1:<port>"
    std::string browserLog;  // the stand-in browser's line per address opened (a Unix path)
};

// Reads it from KELVOR_OAUTH2_DOVECOT_PORT, KELVOR_OAUTH2_SERVER, KELVOR_DOVECOT_USER and
// KELVOR_BROWSER_LOG. false with the reason when something is missing.
bool FindSignInTestServer(SignInTestServer& server, std::string& error);

#endif
