// The POST of a form to a token endpoint over the same TCP stream and Schannel session as the
// POP3 connection, so that the server's certificate meets exactly the same checks.
#ifndef KELVOR_PLATFORM_WIN32_FORMPOST_H
#define KELVOR_PLATFORM_WIN32_FORMPOST_H

#include <cstddef>
#include <string>

#include "signin/SignInPlatform.h"

// The parts of an http: or https: address that a request needs.
struct WebAddress {
    bool secure = false;
    std::string host;  // without the brackets of an IPv6 address
    int port = 0;
    std::string target;  // the path and the query, "/" at least
};

// Reads "https://host[:port][/path][?query]" or the same with http:. 1, or 0 with reason for
// another scheme, user information, an empty or malformed host, a bad port or a fragment.
int ParseWebAddress(const std::string& url, WebAddress& address, std::string& reason);

// Whether host is a loopback address: 127.x.x.x written in full, ::1, or "localhost".
bool IsLoopbackHost(const std::string& host);

// The contract of SignInPlatform::PostForm: HTTP/1.1 with "Connection: close", the answer read
// whole (Content-Length, chunks, or up to the close), the time limit over the whole request.
int PostFormOverStream(const std::string& url, const std::string& body, int timeLimitMilliseconds,
                       std::size_t maxBytes, HttpResponse& response, std::string& reason);

#endif
