// The messages of an OAuth 2.0 sign-in with PKCE: the browser's address at the authorization
// endpoint, the browser's return to the redirect listener, the form bodies of the token requests
// and the token endpoint's JSON answer.
#ifndef KELVOR_SIGNIN_OAUTHMESSAGES_H
#define KELVOR_SIGNIN_OAUTHMESSAGES_H

#include <cstddef>
#include <string>
#include <string_view>

#include "signin/SignInEntries.h"
#include "signin/SignInPlatform.h"

// A provider's text as the program may show it: printable ASCII only, at most 200 bytes.
std::string ProviderText(const std::string& text);

// Every byte but the unreserved characters (A-Z a-z 0-9 - . _ ~) as "%XX", for query and form values.
std::string PercentEncode(std::string_view value);

// The PKCE challenge of a verifier: base64url of its SHA-256, without "=". 0 when the
// platform's SHA-256 failed.
int PkceChallenge(SignInPlatform& platform, const std::string& verifier, std::string& challenge);
// A new verifier (32 random bytes, base64url: 43 characters) and its challenge; 0 when the
// platform gave no random bytes or no digest.
int NewPkce(SignInPlatform& platform, std::string& verifier, std::string& challenge);
// A new random state (16 bytes, base64url); 0 when the platform gave no random bytes.
int NewState(SignInPlatform& platform, std::string& state);

// The redirect address for a listener on port: "http://localhost:PORT/" for an entry whose
// provider registers localhost, else "http://127.0.0.1:PORT/".
std::string RedirectAddress(const SignInEntry& entry, int port);
// The authorization endpoint's address with response_type=code, client_id, redirect_uri,
// scope, state, code_challenge, code_challenge_method=S256 and login_hint (left out when empty).
std::string AuthorizationAddress(const SignInEntry& entry, const std::string& redirectAddress,
                                 const std::string& state, const std::string& challenge,
                                 const std::string& loginHint);
// The token requests' bodies: the code for tokens, and a refresh token for new ones. Both carry
// client_id, and client_secret where the entry has one.
std::string CodeGrantBody(const SignInEntry& entry, const std::string& code,
                          const std::string& redirectAddress, const std::string& verifier);
std::string RefreshGrantBody(const SignInEntry& entry, const std::string& refreshToken);

// What the browser brought back to the listener, from the query of its request target.
struct RedirectAnswer {
    std::string code;
    std::string state;
    std::string error;
    std::string errorDescription;
};
// Reads a request target "/?name=value&...". false when it is no such target (another path,
// no query), which the listener then answers with an error and ignores.
bool ReadRedirectTarget(const std::string& target, RedirectAnswer& answer);

// The token endpoint's answer, as far as it is of use.
struct TokenAnswer {
    std::string accessToken;
    std::string refreshToken;  // empty when none came back
    long long expiresInSeconds = 0;
    std::string error;             // the provider's "error", or a short English reason
    std::string errorDescription;  // the provider's "error_description", printable ASCII only
};
// The token endpoint's answers are never larger than this.
constexpr std::size_t kTokenAnswerCap = 64 * 1024;
// 1 when the answer is a status 200 JSON object with a bearer access token; 0 with error set
// otherwise (the provider's error code, or a reason of our own when there is none).
int ReadTokenAnswer(const HttpResponse& response, TokenAnswer& answer);

#endif
