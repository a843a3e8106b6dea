// What signing in with a mail provider (OAuth 2.0) needs from a platform: HTTPS requests to the
// provider's token endpoint, SHA-256 and random bytes for PKCE and the state, and the one-shot
// listener on a loopback address that the browser comes back to. Small and synchronous, like
// the TCP stream; each platform implements it with its own parts.
#ifndef KELVOR_SIGNIN_SIGNINPLATFORM_H
#define KELVOR_SIGNIN_SIGNINPLATFORM_H

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// The answer of an HTTP server: its status code and its body.
struct HttpResponse {
    int status = 0;
    std::string body;
};

// Listens on one ephemeral port of the loopback addresses for the browser's redirect, for one
// sign-in. The sockets never block the caller: the waiting box polls it.
class RedirectListener {
public:
    virtual ~RedirectListener() = default;

    // Opens a listening socket on 127.0.0.1 at a port the system chooses and, when alsoIpv6,
    // on ::1 at the same port (a browser sent to "localhost" may take either). 1 with port set;
    // 0 with reason set when no socket could be opened.
    virtual int Open(bool alsoIpv6, int& port, std::string& reason) = 0;

    // Without waiting: accepts the connections that have come and reads the bytes that have
    // arrived on them, each connection's request at most a few KiB. 1 with target set to the
    // request target of a GET whose request line has arrived whole ("/?code=...&state=..."),
    // its connection kept for Answer; 0 when none is complete yet; -1 when the listener failed.
    // A connection that sends something else, too much or nothing for long is closed.
    virtual int NextRequest(std::string& target) = 0;

    // Answers the request that NextRequest returned last with an HTTP status and an HTML page
    // (UTF-8), then closes its connection. A connection whose request the caller ignores is
    // answered this way too, with an error status.
    virtual void Answer(int status, const std::string& html) = 0;

    // Closes every socket; later calls fail without waiting. The destructor closes too.
    virtual void Close() = 0;
};

class SignInPlatform {
public:
    virtual ~SignInPlatform() = default;

    // POSTs body (application/x-www-form-urlencoded) to url and reads the answer. The url is
    // https:, with the server's certificate verified exactly as the POP3 connection verifies
    // its server's, or http: to a loopback address only. The whole request takes at most
    // timeLimitMilliseconds, and an answer of more than maxBytes is a failure. 1 with response
    // set, whatever its status; 0 with reason set (plain English, no secret in it) when no
    // answer could be had.
    virtual int PostForm(const std::string& url, const std::string& body, int timeLimitMilliseconds,
                         std::size_t maxBytes, HttpResponse& response, std::string& reason) = 0;

    // SHA-256 of data. 1, or 0 when the platform's function failed.
    virtual int Sha256(std::string_view data, std::array<unsigned char, 32>& digest) = 0;

    // count bytes from the system's cryptographic random source. 1, or 0 when it failed.
    virtual int RandomBytes(unsigned char* bytes, std::size_t count) = 0;

    // A new listener, not yet open.
    virtual std::unique_ptr<RedirectListener> NewRedirectListener() = 0;
};

#endif
