// The sign-in's parts on their own: PKCE against RFC 7636's example, the entry table with its
// overrides from the settings, the browser's address, and the reading of token answers.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "FakeSignInPlatform.h"
#include "signin/OAuthMessages.h"
#include "signin/SignInEntries.h"

namespace {

TEST(SignInPkce, ChallengeOfTheExampleVerifierIsTheExampleChallenge)
{
#if !KELVOR_TESTS_HAVE_OPENSSL
    GTEST_SKIP() << "no SHA-256 in the tests of this platform";
#endif
    FakeSignInPlatform platform;
    std::string challenge;
    ASSERT_EQ(PkceChallenge(platform, "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk", challenge), 1);
    EXPECT_EQ(challenge, "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    // A new verifier is 43 characters of base64url: 32 random bytes.
    std::string verifier;
    ASSERT_EQ(NewPkce(platform, verifier, challenge), 1);
    EXPECT_EQ(verifier, "AQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQE");
    EXPECT_EQ(challenge, "VtX6czP210fbQsI5QH5dpMMvTHnzXQkrE0_TWkAtnFw");
}

struct EntryRow {
    const char* behaviour;
    std::string host;
    std::map<std::string, std::string> settings;  // "Section/Key" -> value
    EntryLookup lookup;
    std::string missing;
    std::string tokenUrl;
    std::string clientId;
    std::string scope;
    bool redirectToLocalhost;
};

TEST(SignInEntries, BuiltInOverriddenAddedOrIncomplete)
{
    const std::string gmailToken = "https://oauth2.googleapis.com/token";
    const std::string msToken = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
    const std::vector<EntryRow> rows = {
        {"built in without a client id names what is missing", "pop.gmail.com", {},
         EntryLookup::Incomplete, "[OAuth2:pop.gmail.com] ClientId", gmailToken, "", "https://mail.google.com/", false},
        {"the host in any case, the client id from the settings", "POP.Gmail.COM",
         {{"OAuth2:pop.gmail.com/ClientId", "g-id"}},
         EntryLookup::Found, "", gmailToken, "g-id", "https://mail.google.com/", false},
        {"an override keeps the built-in values it leaves out", "outlook.office365.com",
         {{"OAuth2:outlook.office365.com/ClientId", "m-id"}, {"OAuth2:outlook.office365.com/Scope", "s"}},
         EntryLookup::Found, "", msToken, "m-id", "s", true},
        {"an added entry with endpoints on loopback addresses", "mail.example.org",
         {{"OAuth2:mail.example.org/AuthorizeUrl", "http://127.0.0.1:8080/auth"},
          {"OAuth2:mail.example.org/TokenUrl", "http://[::1]:9/token"},
          {"OAuth2:mail.example.org/ClientId", "e-id"}},
         EntryLookup::Found, "", "http://[::1]:9/token", "e-id", "", false},
        {"an added entry needs both endpoints", "mail.example.org",
         {{"OAuth2:mail.example.org/ClientId", "e-id"}},
         EntryLookup::Incomplete, "[OAuth2:mail.example.org] AuthorizeUrl, TokenUrl", "", "e-id", "", false},
        {"http: elsewhere than a loopback address is refused", "mail.example.org",
         {{"OAuth2:mail.example.org/AuthorizeUrl", "http://127.0.0.1@evil.example/auth"},
          {"OAuth2:mail.example.org/TokenUrl", "http://example.org/token"},
          {"OAuth2:mail.example.org/ClientId", "e-id"}},
         EntryLookup::Incomplete, "[OAuth2:mail.example.org] AuthorizeUrl, TokenUrl", "http://example.org/token",
         "e-id", "", false},
        {"no entry, no section: USER and PASS as always", "pop.example.org", {}, EntryLookup::None, "", "", "", "",
         false},
    };
    for (const EntryRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        const SettingReader settings = [&row](const std::string& section, const std::string& key) {
            const auto value = row.settings.find(section + "/" + key);
            return value == row.settings.end() ? std::string() : value->second;
        };
        SignInEntry entry;
        std::string missing;
        EXPECT_EQ(FindSignInEntry(row.host, settings, entry, missing), row.lookup);
        EXPECT_EQ(missing, row.missing);
        EXPECT_EQ(entry.tokenUrl, row.tokenUrl);
        EXPECT_EQ(entry.clientId, row.clientId);
        EXPECT_EQ(entry.scope, row.scope);
        EXPECT_EQ(entry.redirectToLocalhost, row.redirectToLocalhost);
    }
}

TEST(SignInMessages, AddressAndBodiesArePercentEncoded)
{
    SignInEntry entry;
    entry.authorizeUrl = "https://login.example/authorize";
    entry.clientId = "id 1";
    entry.clientSecret = "s&t";
    entry.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
    entry.redirectToLocalhost = true;
    const std::string redirect = RedirectAddress(entry, 8642);
    EXPECT_EQ(redirect, "http://localhost:8642/");
    EXPECT_EQ(AuthorizationAddress(entry, redirect, "st~", "ch_-", "a+b@example.com"),
              "https://login.example/authorize?response_type=code&client_id=id%201"
              "&redirect_uri=http%3A%2F%2Flocalhost%3A8642%2F"
              "&scope=https%3A%2F%2Foutlook.office.com%2FPOP.AccessAsUser.All%20offline_access"
              "&state=st~&code_challenge=ch_-&code_challenge_method=S256&login_hint=a%2Bb%40example.com");
    EXPECT_EQ(RefreshGrantBody(entry, "r/1="), "grant_type=refresh_token&refresh_token=r%2F1%3D&client_id=id%201"
                                               "&client_secret=s%26t");
}

struct AnswerRow {
    const char* behaviour;
    HttpResponse response;
    int result;
    std::string accessToken;
    std::string refreshToken;
    long long expiresIn;
    std::string error;
};

TEST(SignInMessages, TokenAnswersAreReadOrRefused)
{
    const std::vector<AnswerRow> rows = {
        {"tokens with a rotated refresh token",
         {200, R"({"access_token":"A","token_type":"bearer","expires_in":3599,"refresh_token":"R"})"}, 1, "A", "R",
         3599, ""},
        {"expires_in as a string, no refresh token", {200, R"({"access_token":"A","token_type":"Bearer","expires_in":"60"})"},
         1, "A", "", 60, ""},
        {"the provider's error and description", {400, R"({"error":"invalid_grant","error_description":"gone\n"})"}, 0, "",
         "", 0, "invalid_grant"},
        {"no token type is no bearer token", {200, R"({"access_token":"A"})"}, 0, "", "", 0,
         "no bearer access token in the answer"},
        {"a page instead of JSON", {502, "<html>bad gateway</html>"}, 0, "", "", 0, "HTTP status 502, no JSON object"},
        {"an answer over the cap", {200, std::string(kTokenAnswerCap + 1, ' ')}, 0, "", "", 0, "answer too large"},
    };
    for (const AnswerRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        TokenAnswer answer;
        EXPECT_EQ(ReadTokenAnswer(row.response, answer), row.result);
        EXPECT_EQ(answer.accessToken, row.accessToken);
        EXPECT_EQ(answer.refreshToken, row.refreshToken);
        EXPECT_EQ(answer.expiresInSeconds, row.expiresIn);
        EXPECT_EQ(answer.error, row.error);
    }
}

}  // namespace
