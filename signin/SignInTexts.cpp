// The sign-in's failure texts and the waiting box's words. Written in UTF-8 here and compiled
// into Shift_JIS; this file must stay free of <chrono>, which does not compile under that flag.
#include "signin/SignInTexts.h"

const char kSignInTextNotConfigured[] = "サインインの設定が足りません (Sign-in settings missing)";
const char kSignInTextCannotStart[] = "サインインを開始できませんでした (Sign-in could not start)";
const char kSignInTextBrowserFailed[] = "ブラウザを開けませんでした (Web browser could not be opened)";
const char kSignInTextCancelled[] = "サインインが取り消されました (Sign-in cancelled)";
const char kSignInTextTimedOut[] = "サインインが時間切れになりました (Sign-in timed out)";
const char kSignInTextDenied[] = "サインインできませんでした (Sign-in refused by the provider)";
const char kSignInTextTokenUnreachable[] = "サインインのサーバに接続できませんでした (Token endpoint cannot be reached)";
const char kSignInTextTokenRefused[] = "サインインのサーバが要求を拒否しました (Token request refused)";
const char kSignInTextNeeded[] =
    "サインインが必要です。「チェックする」を押してください (Sign-in needed: press the check button)";
const char kSignInTextWaiting[] =
    "ブラウザでサインインしてください。サインインが終わるとチェックを続けます。 (Sign in in the web browser; the check goes on when you are signed in.)";
