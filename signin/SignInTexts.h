// The sign-in's texts: the failures it reports (Shift_JIS, Japanese, a blank and an English
// gloss), the waiting box's words, and the pages the browser is answered with (UTF-8 HTML).
#ifndef KELVOR_SIGNIN_SIGNINTEXTS_H
#define KELVOR_SIGNIN_SIGNINTEXTS_H

#include <string>

// The entry lacks a value; "\r\n", the settings section and the missing names follow.
extern const char kSignInTextNotConfigured[];
// The loopback listener or the random bytes could not be had; "\r\n" and the reason follow.
extern const char kSignInTextCannotStart[];
extern const char kSignInTextBrowserFailed[];
extern const char kSignInTextCancelled[];
extern const char kSignInTextTimedOut[];
// The provider sent the browser back with an error; "\r\n", its error and description follow.
extern const char kSignInTextDenied[];
// The token endpoint gave no answer; "\r\n" and the reason follow.
extern const char kSignInTextTokenUnreachable[];
// The token endpoint refused; "\r\n", the provider's error and description follow.
extern const char kSignInTextTokenRefused[];
// A timer check would need the browser: the user is told to press the check button.
extern const char kSignInTextNeeded[];
// The words of the box that waits for the browser, for the platforms' waiting box.
extern const char kSignInTextWaiting[];

// The pages the listener answers the browser with, UTF-8: signed in, the provider's refusal,
// and any request that is not the awaited redirect.
const std::string& SignInDonePage();
const std::string& SignInFailedPage();
const std::string& SignInStrayPage();
// The whole HTTP answer that carries a page to the browser, after which the connection closes.
std::string BrowserAnswer(int status, const std::string& html);

#endif
