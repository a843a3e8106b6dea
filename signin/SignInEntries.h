// The sign-in entries: for a mail server's host, the provider's endpoints, the client id and
// secret and the scope. Built in for three providers, overridden or added by the settings file.
#ifndef KELVOR_SIGNIN_SIGNINENTRIES_H
#define KELVOR_SIGNIN_SIGNINENTRIES_H

#include <functional>
#include <string>

struct SignInEntry {
    std::string host;
    std::string authorizeUrl;
    std::string tokenUrl;
    std::string clientId;
    std::string clientSecret;  // empty for a public client
    std::string scope;
    // The provider registers "http://localhost" as the redirect (Microsoft): the browser is sent
    // there, and may reach 127.0.0.1 or ::1. Otherwise the redirect names 127.0.0.1.
    bool redirectToLocalhost = false;
};

// Reads one value of the settings file (section, key); empty when it is absent. Sections and
// keys are compared without regard to case, as the settings file does.
using SettingReader = std::function<std::string(const std::string& section, const std::string& key)>;

// The settings section that overrides or adds the entry of a host: "OAuth2:HOST".
std::string SignInSection(const std::string& host);

enum class EntryLookup {
    None,        // the host has no entry: the login is USER and PASS as always
    Found,       // entry is complete
    Incomplete,  // an entry exists but lacks what missing names; it cannot sign in
};

// The entry for host (compared without regard to case): the built-in one with the values of its
// settings section over it, or one that the section adds, which needs AuthorizeUrl, TokenUrl and
// ClientId. missing names the values an entry lacks ("ClientId", "TokenUrl", ...) and the
// section where they go; an endpoint that breaks the endpoint rule counts as missing.
EntryLookup FindSignInEntry(const std::string& host, const SettingReader& settings,
                            SignInEntry& entry, std::string& missing);

// An endpoint must be https:, or http: to a loopback address (127.0.0.1, [::1], localhost).
bool IsAllowedEndpoint(const std::string& url);

#endif
