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

const char* StatusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    default:
        return "Error";
    }
}

}  // namespace

std::string BrowserAnswer(int status, const std::string& html)
{
    return "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
           "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " + std::to_string(html.size()) +
           "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + html;
}

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
