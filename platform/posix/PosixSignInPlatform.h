// PosixSignInPlatform: signing in with a mail provider on Linux: the token endpoint's HTTPS
// requests through libcurl, SHA-256 and random bytes through OpenSSL, the redirect listener
// over POSIX sockets.
#ifndef KELVOR_PLATFORM_POSIX_POSIXSIGNINPLATFORM_H
#define KELVOR_PLATFORM_POSIX_POSIXSIGNINPLATFORM_H

#include "signin/SignInPlatform.h"

class PosixSignInPlatform : public SignInPlatform {
public:
    PosixSignInPlatform();

    int PostForm(const std::string& url, const std::string& body, int timeLimitMilliseconds,
                 std::size_t maxBytes, HttpResponse& response, std::string& reason) override;
    int Sha256(std::string_view data, std::array<unsigned char, 32>& digest) override;
    int RandomBytes(unsigned char* bytes, std::size_t count) override;
    std::unique_ptr<RedirectListener> NewRedirectListener() override;
};

#endif
