// The built-in sign-in entries and their overrides from the settings file. The client ids and
// Google's secret are given at build time (KELVOR_OAUTH2_* cache variables): the distributor
// registers the program with each provider, and an empty id leaves the entry unusable.
#include "signin/SignInEntries.h"

#include <cctype>
#include <iterator>

#ifndef KELVOR_OAUTH2_MICROSOFT_CLIENT_ID
#define KELVOR_OAUTH2_MICROSOFT_CLIENT_ID ""
#endif
#ifndef KELVOR_OAUTH2_GOOGLE_CLIENT_ID
#define KELVOR_OAUTH2_GOOGLE_CLIENT_ID ""
#endif
#ifndef KELVOR_OAUTH2_GOOGLE_CLIENT_SECRET
#define KELVOR_OAUTH2_GOOGLE_CLIENT_SECRET ""
#endif
#ifndef KELVOR_OAUTH2_YAHOO_CLIENT_ID
#define KELVOR_OAUTH2_YAHOO_CLIENT_ID ""
#endif

namespace {

struct BuiltInEntry {
    const char* host;
    const char* authorizeUrl;
    const char* tokenUrl;
    const char* clientId;
    const char* clientSecret;
    const char* scope;
    bool redirectToLocalhost;
};

// Microsoft's tenant "common" takes personal and work accounts alike.
const BuiltInEntry kBuiltInEntries[] = {
    {"outlook.office365.com", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/common/oauth2/v2.0/token", KELVOR_OAUTH2_MICROSOFT_CLIENT_ID, "",
     "https://outlook.office.com/POP.AccessAsUser.All offline_access", true},
    {"pop.gmail.com", "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
     KELVOR_OAUTH2_GOOGLE_CLIENT_ID, KELVOR_OAUTH2_GOOGLE_CLIENT_SECRET, "https://mail.google.com/", false},
    {"pop.mail.yahoo.com", "https://api.login.yahoo.com/oauth2/request_auth",
     "https://api.login.yahoo.com/oauth2/get_token", KELVOR_OAUTH2_YAHOO_CLIENT_ID, "", "mail-w", false},
};

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Takes the value of the settings over the entry's when the settings give one.
bool Override(const SettingReader& settings, const std::string& section, const char* key,
              std::string& value)
{
    std::string given = settings(section, key);
    if (given.empty())
        return false;
    value = given;
    return true;
}

void NameMissing(std::string& missing, const char* key)
{
    missing += missing.empty() ? key : std::string(", ") + key;
}

}  // namespace

std::string SignInSection(const std::string& host)
{
    return "OAuth2:" + host;
}

bool IsAllowedEndpoint(const std::string& url)
{
    const std::string lower = Lower(url);
    if (StartsWith(lower, "https://"))
        return lower.size() > 8;
    if (!StartsWith(lower, "http://"))
        return false;
    // The authority ends at the first "/", "?" or "#"; a user part before "@" would let
    // "http://127.0.0.1@elsewhere/" pass, so the host is what follows the last "@".
    std::string authority = lower.substr(7, lower.find_first_of("/?#", 7) - 7);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    std::string host = authority;
    if (StartsWith(authority, "[")) {
        host = authority.substr(0, authority.find(']') + 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    const std::string port = authority.substr(host.size());
    if (!port.empty() && (port[0] != ':' || port.find_first_not_of("0123456789", 1) != std::string::npos))
        return false;
    return host == "127.0.0.1" || host == "[::1]" || host == "localhost";
}

EntryLookup FindSignInEntry(const std::string& host, const SettingReader& settings,
                            SignInEntry& entry, std::string& missing)
{
    entry = SignInEntry();
    missing.clear();
    const std::string lowerHost = Lower(host);
    bool found = false;
    for (const BuiltInEntry& builtIn : kBuiltInEntries) {
        if (lowerHost != builtIn.host)
            continue;
        entry = {builtIn.host,     builtIn.authorizeUrl, builtIn.tokenUrl,           builtIn.clientId,
                 builtIn.clientSecret, builtIn.scope,    builtIn.redirectToLocalhost};
        found = true;
    }
    const std::string section = SignInSection(lowerHost);
    bool given = Override(settings, section, "AuthorizeUrl", entry.authorizeUrl);
    given = Override(settings, section, "TokenUrl", entry.tokenUrl) || given;
    given = Override(settings, section, "ClientId", entry.clientId) || given;
    given = Override(settings, section, "ClientSecret", entry.clientSecret) || given;
    given = Override(settings, section, "Scope", entry.scope) || given;
    if (!found && !given)
        return EntryLookup::None;
    entry.host = lowerHost;

    if (!IsAllowedEndpoint(entry.authorizeUrl))
        NameMissing(missing, "AuthorizeUrl");
    if (!IsAllowedEndpoint(entry.tokenUrl))
        NameMissing(missing, "TokenUrl");
    if (entry.clientId.empty())
        NameMissing(missing, "ClientId");
    if (missing.empty())
        return EntryLookup::Found;
    missing = "[" + section + "] " + missing;
    return EntryLookup::Incomplete;
}
