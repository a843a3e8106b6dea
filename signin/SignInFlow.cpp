// CSignIn: when to use the access token in memory, refresh it, or sign in in the browser, and the
// wait for the browser's return to the loopback listener.
#include "signin/SignInFlow.h"

#include <chrono>
#include <memory>
#include <utility>

#include "signin/SignInTexts.h"

namespace {

constexpr int kDefaultTimeLimitMilliseconds = 30000;
constexpr long long kDefaultWaitLimitMilliseconds = 5 * 60 * 1000;
// An access token is not used in its last minute: the login that takes it may last as long.
constexpr long long kExpiryMarginMilliseconds = 60 * 1000;
// A token whose answer gave no lifetime is used this long.
constexpr long long kUnstatedLifetimeMilliseconds = 10 * 60 * 1000;
// A poll answers at most this many stray requests, so that a flood cannot hold up the box.
constexpr int kRequestsPerPoll = 8;

long long SteadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The provider's error and its description, as the line after a failure text.
std::string ProviderReason(const std::string& error, const std::string& description)
{
    return description.empty() ? error : error + ": " + description;
}

}  // namespace

CSignIn::CSignIn(SignInPlatform& platform, RefreshTokenStore& store, SettingReader settings)
    : m_platform(platform),
      m_store(store),
      m_settings(std::move(settings)),
      m_clock(SteadyMilliseconds),
      m_timeLimitMilliseconds(kDefaultTimeLimitMilliseconds),
      m_waitLimitMilliseconds(kDefaultWaitLimitMilliseconds),
      m_accessUsableUntil(0)
{
}

void CSignIn::SetClock(std::function<long long()> milliseconds)
{
    m_clock = std::move(milliseconds);
}

void CSignIn::SetTimeLimit(int milliseconds)
{
    m_timeLimitMilliseconds = milliseconds > 0 ? milliseconds : 0;
}

void CSignIn::SetWaitLimit(long long milliseconds)
{
    m_waitLimitMilliseconds = milliseconds > 0 ? milliseconds : 0;
}

bool CSignIn::HasEntry(const std::string& host) const
{
    SignInEntry entry;
    std::string missing;
    return FindSignInEntry(host, m_settings, entry, missing) != EntryLookup::None;
}

void CSignIn::Refused()
{
    m_accessToken.clear();
    m_accessUsableUntil = 0;
}

int CSignIn::AccessToken(const std::string& host, const std::string& user, bool interactive,
                         SignInBrowser& browser, std::string& token, std::string& errorText)
{
    SignInEntry entry;
    std::string missing;
    switch (FindSignInEntry(host, m_settings, entry, missing)) {
    case EntryLookup::Found:
        break;
    case EntryLookup::Incomplete:
        errorText = std::string(kSignInTextNotConfigured) + "\r\n" + missing;
        return 0;
    case EntryLookup::None:
        errorText = std::string(kSignInTextNotConfigured) + "\r\n[" + SignInSection(host) + "]";
        return 0;
    }
    if (!m_accessToken.empty() && m_accessHost == entry.host && m_accessUser == user &&
        m_clock() < m_accessUsableUntil) {
        token = m_accessToken;
        return 1;
    }
    Refused();

    std::string refreshToken;
    if (m_store.Read(entry.host, user, refreshToken)) {
        TokenAnswer answer;
        bool invalidGrant = false;
        if (RequestTokens(entry, RefreshGrantBody(entry, refreshToken), answer, invalidGrant, errorText)) {
            TakeTokens(entry.host, user, answer);
            token = m_accessToken;
            return 1;
        }
        // Any other failure (no answer, a server error) leaves the kept token for next time.
        if (!invalidGrant)
            return 0;
        m_store.Forget(entry.host, user);
    }
    if (!interactive) {
        errorText = kSignInTextNeeded;
        return 0;
    }
    if (!SignInWithBrowser(entry, user, browser, errorText))
        return 0;
    token = m_accessToken;
    return 1;
}

int CSignIn::RequestTokens(const SignInEntry& entry, const std::string& body, TokenAnswer& answer,
                           bool& invalidGrant, std::string& errorText)
{
    invalidGrant = false;
    HttpResponse response;
    std::string reason;
    if (!m_platform.PostForm(entry.tokenUrl, body, m_timeLimitMilliseconds, kTokenAnswerCap, response, reason)) {
        errorText = std::string(kSignInTextTokenUnreachable) + "\r\n" + reason;
        return 0;
    }
    if (ReadTokenAnswer(response, answer))
        return 1;
    invalidGrant = answer.error == "invalid_grant";
    errorText = std::string(kSignInTextTokenRefused) + "\r\n" + ProviderReason(answer.error, answer.errorDescription);
    return 0;
}

void CSignIn::TakeTokens(const std::string& host, const std::string& user, const TokenAnswer& answer)
{
    // A provider that rotates refresh tokens accepts only the newest: it is kept before
    // anything else can fail.
    if (!answer.refreshToken.empty())
        m_store.Store(host, user, answer.refreshToken);
    const long long lifetime = answer.expiresInSeconds > 0 ? answer.expiresInSeconds * 1000 - kExpiryMarginMilliseconds
                                                           : kUnstatedLifetimeMilliseconds;
    m_accessHost = host;
    m_accessUser = user;
    m_accessToken = answer.accessToken;
    m_accessUsableUntil = m_clock() + lifetime;
}

int CSignIn::SignInWithBrowser(const SignInEntry& entry, const std::string& user, SignInBrowser& browser,
                               std::string& errorText)
{
    std::unique_ptr<RedirectListener> listener = m_platform.NewRedirectListener();
    int port = 0;
    std::string reason;
    if (!listener || !listener->Open(entry.redirectToLocalhost, port, reason)) {
        errorText = std::string(kSignInTextCannotStart) + "\r\n" + reason;
        return 0;
    }
    std::string verifier;
    std::string challenge;
    std::string state;
    if (!NewPkce(m_platform, verifier, challenge) || !NewState(m_platform, state)) {
        errorText = std::string(kSignInTextCannotStart) + "\r\nno random bytes or digest";
        return 0;
    }
    const std::string redirect = RedirectAddress(entry, port);
    if (!browser.Open(AuthorizationAddress(entry, redirect, state, challenge, user))) {
        errorText = kSignInTextBrowserFailed;
        return 0;
    }

    enum class Return { Waiting, Code, Refused, ListenerFailed, TimedOut };
    Return outcome = Return::Waiting;
    RedirectAnswer answer;
    const long long deadline = m_clock() + m_waitLimitMilliseconds;
    const bool returned = browser.Wait([&] {
        for (int request = 0; request < kRequestsPerPoll; ++request) {
            std::string target;
            const int result = listener->NextRequest(target);
            if (result < 0) {
                outcome = Return::ListenerFailed;
                return true;
            }
            if (result == 0)
                break;
            // Only the redirect of this sign-in counts; whatever else connects is turned away.
            RedirectAnswer candidate;
            if (!ReadRedirectTarget(target, candidate) || candidate.state != state) {
                listener->Answer(400, SignInStrayPage());
                continue;
            }
            answer = std::move(candidate);
            const bool granted = answer.error.empty() && !answer.code.empty();
            listener->Answer(200, granted ? SignInDonePage() : SignInFailedPage());
            outcome = granted ? Return::Code : Return::Refused;
            return true;
        }
        if (m_clock() >= deadline) {
            outcome = Return::TimedOut;
            return true;
        }
        return false;
    });
    listener->Close();

    if (!returned || outcome == Return::Waiting) {
        errorText = kSignInTextCancelled;
        return 0;
    }
    switch (outcome) {
    case Return::TimedOut:
        errorText = kSignInTextTimedOut;
        return 0;
    case Return::ListenerFailed:
        errorText = std::string(kSignInTextCannotStart) + "\r\nthe listener for the browser failed";
        return 0;
    case Return::Refused:
        errorText = std::string(kSignInTextDenied) + "\r\n" +
                    ProviderReason(answer.error.empty() ? "no code" : answer.error, answer.errorDescription);
        return 0;
    default:
        break;
    }
    TokenAnswer tokens;
    bool invalidGrant = false;
    if (!RequestTokens(entry, CodeGrantBody(entry, answer.code, redirect, verifier), tokens, invalidGrant, errorText))
        return 0;
    TakeTokens(entry.host, user, tokens);
    return 1;
}
