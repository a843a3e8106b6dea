// CWin32SignInPlatform: signing in with a mail provider on Windows: token requests over our
// own TCP stream and Schannel session, SHA-256 and random bytes from BCrypt, and the Winsock
// redirect listener.
#ifndef KELVOR_PLATFORM_WIN32_WIN32SIGNINPLATFORM_H
#define KELVOR_PLATFORM_WIN32_WIN32SIGNINPLATFORM_H

#include "signin/SignInPlatform.h"

class CWin32SignInPlatform : public SignInPlatform {
public:
    int PostForm(const std::string& url, const std::string& body, int timeLimitMilliseconds,
                 std::size_t maxBytes, HttpResponse& response, std::string& reason) override;
    int Sha256(std::string_view data, std::array<unsigned char, 32>& digest) override;
    int RandomBytes(unsigned char* bytes, std::size_t count) override;
    std::unique_ptr<RedirectListener> NewRedirectListener() override;
};

#endif
