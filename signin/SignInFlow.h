// CSignIn: the rules of signing in with a mail provider. It hands out access tokens: the one in
// memory while it lasts, else one refreshed with the kept refresh token, else, when the user
// asked for something, one from a new sign-in in the browser.
#ifndef KELVOR_SIGNIN_SIGNINFLOW_H
#define KELVOR_SIGNIN_SIGNINFLOW_H

#include <functional>
#include <string>

#include "signin/OAuthMessages.h"
#include "signin/SignInEntries.h"
#include "signin/SignInPlatform.h"

// What a sign-in needs from the window: the browser, and the modal box that waits for it.
class SignInBrowser {
public:
    virtual ~SignInBrowser() = default;
    // Opens the address in the system's web browser; false when none could be started.
    virtual bool Open(const std::string& address) = 0;
    // Shows the waiting box and runs poll about every 100 ms until it returns true (then true)
    // or the user cancels (then false).
    virtual bool Wait(const std::function<bool()>& poll) = 0;
};

// Where the refresh token of a host and user is kept between runs. It is a secret: it goes
// nowhere else and is never shown.
class RefreshTokenStore {
public:
    virtual ~RefreshTokenStore() = default;
    // 1 with token set when one is kept for this host and user; 0 otherwise.
    virtual int Read(const std::string& host, const std::string& user, std::string& token) = 0;
    virtual void Store(const std::string& host, const std::string& user, const std::string& token) = 0;
    virtual void Forget(const std::string& host, const std::string& user) = 0;
};

class CSignIn {
public:
    CSignIn(SignInPlatform& platform, RefreshTokenStore& store, SettingReader settings);

    // The clock of the token lifetimes and of the wait for the browser, in milliseconds; a
    // steady clock unless a test gives another.
    void SetClock(std::function<long long()> milliseconds);
    // How long one token request may take (30 s by default, as a POP3 step).
    void SetTimeLimit(int milliseconds);
    // How long the browser may take to come back (5 minutes by default).
    void SetWaitLimit(long long milliseconds);

    // Whether the host has a sign-in entry, complete or not: a login there with an empty
    // password signs in instead of sending USER and PASS.
    bool HasEntry(const std::string& host) const;

    // An access token for the user at host. The one in memory while it has more than a minute
    // left; else one for the kept refresh token; else, when interactive, one from a sign-in in
    // the browser. Every refresh token that comes back is stored at once, and one that the
    // provider calls invalid is forgotten. 1 with token; 0 with errorText (Shift_JIS).
    int AccessToken(const std::string& host, const std::string& user, bool interactive,
                    SignInBrowser& browser, std::string& token, std::string& errorText);
    // The mail server refused the token: the next AccessToken gets a new one.
    void Refused();

private:
    // One token request; 1 with answer holding the tokens, 0 with errorText. invalidGrant
    // tells that the provider no longer accepts the grant (the kept token or the code).
    int RequestTokens(const SignInEntry& entry, const std::string& body, TokenAnswer& answer,
                      bool& invalidGrant, std::string& errorText);
    // Keeps what a successful answer brought: the refresh token in the store, the access
    // token in memory.
    void TakeTokens(const std::string& host, const std::string& user, const TokenAnswer& answer);
    int SignInWithBrowser(const SignInEntry& entry, const std::string& user, SignInBrowser& browser,
                          std::string& errorText);

    SignInPlatform& m_platform;
    RefreshTokenStore& m_store;
    SettingReader m_settings;
    std::function<long long()> m_clock;
    int m_timeLimitMilliseconds;
    long long m_waitLimitMilliseconds;
    // The access token in memory, for whom, and until when it may be used.
    std::string m_accessHost;
    std::string m_accessUser;
    std::string m_accessToken;
    long long m_accessUsableUntil;
};

#endif
