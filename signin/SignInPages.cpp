// The pages the redirect listener answers the browser with. This file is compiled in UTF-8, the
// browser's encoding, unlike the texts the program shows, so both platforms send these bytes.
#include "signin/SignInTexts.h"

namespace {

std::string Page(const char* title, const char* text)
{
    return std::string("<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Kelvor</title></head>"
                       "<body><h1>") +
           title + "</h1><p>" + text + "</p></body></html>\n";
}

}  // namespace

const std::string& SignInDonePage()
{
    static const std::string page = Page("サインインしました (Signed in)",
                                         "このウィンドウは閉じてかまいません。 (You may close this window.)");
    return page;
}

const std::string& SignInFailedPage()
{
    static const std::string page = Page("サインインできませんでした (Sign-in failed)",
                                         "このウィンドウは閉じてかまいません。 (You may close this window.)");
    return page;
}

const std::string& SignInStrayPage()
{
    static const std::string page = Page("Kelvor", "このページは使われません。 (Nothing to see here.)");
    return page;
}
