// Checks and listings that sign in with the mail provider, against a scripted POP3 server that
// takes access tokens and a fake platform whose token endpoint and browser follow a script:
// when the browser opens, refresh and retry, what is kept, and the failure texts.
#include <map>
#include <string>
#include <vector>

#include "ExpectedTexts.h"
#include "FakeSignInPlatform.h"
#include "MailboxFixture.h"
#include "pop3/Pop3Texts.h"
#include "signin/SignInFlow.h"
#include "signin/SignInTexts.h"

namespace {

// The refresh token kept between runs, for one host and user.
class MemoryTokenStore : public RefreshTokenStore {
public:
    std::string token;
    int Read(const std::string& host, const std::string& user, std::string& kept) override
    {
        kept = token;
        return host == "127.0.0.1" && user == "user" && !token.empty() ? 1 : 0;
    }
    void Store(const std::string&, const std::string&, const std::string& value) override { token = value; }
    void Forget(const std::string&, const std::string&) override { token.clear(); }
};

HttpResponse Tokens(const std::string& access, const std::string& refresh)
{
    return {200, R"({"access_token":")" + access + R"(","token_type":"Bearer","expires_in":3600,"refresh_token":")" +
                     refresh + R"("})"};
}

// The PKCE challenge of the fake platform's verifier (43 "AQEB..." characters).
#if KELVOR_TESTS_HAVE_OPENSSL
const std::string kChallenge = "VtX6czP210fbQsI5QH5dpMMvTHnzXQkrE0_TWkAtnFw";
#else
const std::string kChallenge(43, 'A');
#endif

const HttpResponse kInvalidGrant{400, R"({"error":"invalid_grant","error_description":"revoked"})"};

struct SignInRow {
    const char* why;
    bool button;
    std::string keptBefore;
    std::vector<HttpResponse> answers;
    std::vector<std::string> requests;  // what reaches the listener
    std::vector<std::string> accepted;  // the tokens the server takes
    std::string box;                    // empty: no box
    std::string keptAfter;
    std::vector<std::string> grants;  // the grant types the token endpoint was asked for
    int conversations;
    const char* password = "";
    bool withClientId = true;
};

class SignInCheckTest : public MailboxFixture {};

TEST_F(SignInCheckTest, EachSituationSignsInRefreshesOrFailsAsItMust)
{
    const std::string refusal = std::string(kPop3TextTokenRefused) + "\r\n-ERR [AUTH] token refused\r\n";
    const std::vector<SignInRow> rows = {
        {"button, nothing kept: the browser, strays turned away, the code traded and its refresh token kept", true, "",
         {Tokens("A1", "R1")}, {"/favicon.ico", "/?code=C0&state=other", "/?code=C1&state=STATE"}, {"A1"},
         expected::MailCountReport(2, 2), "R1", {"authorization_code"}, 1},
        {"timer, nothing kept: sign-in needed, no browser, no conversation", false, "", {}, {}, {"A1"},
         kSignInTextNeeded, "", {}, 0},
        {"timer, kept token: refreshed, the rotated one kept", false, "R0", {Tokens("A1", "R1")}, {}, {"A1"}, "", "R1",
         {"refresh_token"}, 1},
        {"refused token: one refresh and one new conversation", false, "R0", {Tokens("A1", "R1"), Tokens("A2", "R2")},
         {}, {"A2"}, "", "R2", {"refresh_token", "refresh_token"}, 2},
        {"refused twice: the server's refusal, no third try and no USER or PASS", false, "R0",
         {Tokens("A1", "R1"), Tokens("A2", "R2")}, {}, {"other"}, refusal, "R2", {"refresh_token", "refresh_token"}, 2},
        {"timer, invalid_grant: the kept token forgotten, sign-in needed", false, "R0", {kInvalidGrant}, {}, {"A1"},
         kSignInTextNeeded, "", {"refresh_token"}, 0},
        {"button, invalid_grant: a new sign-in in the browser", true, "R0", {kInvalidGrant, Tokens("A1", "R1")},
         {"/?code=C1&state=STATE"}, {"A1"}, expected::MailCountReport(2, 2), "R1",
         {"refresh_token", "authorization_code"}, 1},
        {"the provider refuses in the browser", true, "", {}, {"/?error=access_denied&error_description=no+thanks&state=STATE"},
         {"A1"}, std::string(kSignInTextDenied) + "\r\naccess_denied: no thanks", "", {}, 0},
        {"the waiting box cancelled", true, "", {}, {}, {"A1"}, kSignInTextCancelled, "", {}, 0},
        {"token endpoint unreachable: the kept token stays", false, "R0", {}, {}, {"A1"},
         std::string(kSignInTextTokenUnreachable) + "\r\nconnection refused", "R0", {"refresh_token"}, 0},
        {"a typed password: USER and PASS as before", true, "R0", {}, {}, {"A1"}, expected::MailCountReport(2, 2), "R0",
         {}, 1, "secret"},
        {"no client id: the text names it", true, "", {}, {}, {"A1"},
         std::string(kSignInTextNotConfigured) + "\r\n[OAuth2:127.0.0.1] ClientId", "", {}, 0, "", false},
    };
    server.SetMessages(Mailbox(2));
    for (const SignInRow& row : rows) {
        SCOPED_TRACE(row.why);
        FakeSignInPlatform platform;
        platform.answers.assign(row.answers.begin(), row.answers.end());
        platform.requests.assign(row.requests.begin(), row.requests.end());
        MemoryTokenStore store;
        store.token = row.keptBefore;
        const std::map<std::string, std::string> settings = {
            {"AuthorizeUrl", "http://127.0.0.1:9/authorize"},
            {"TokenUrl", "http://127.0.0.1:9/token"},
            {"ClientId", row.withClientId ? "kelvor-test" : ""}};
        CSignIn signIn(platform, store, [&](const std::string& section, const std::string& key) {
            return section == "OAuth2:127.0.0.1" && settings.count(key) ? settings.at(key) : std::string();
        });
        server.AcceptTokens(row.accepted);
        StartWindow(1, 0);
        dialog.m_password = row.password;
        window.texts[IDC_PASSWORD] = row.password;
        dialog.SetSignIn(&signIn);
        const int conversationsBefore = server.ConnectionCount();
        const int usersBefore = CountCommands("USER user");

        if (row.button)
            dialog.OnCommand(IDC_CHECK);
        else
            dialog.OnTimer(IDT_CHECK);

        EXPECT_EQ(server.ConnectionCount() - conversationsBefore, row.conversations);
        std::vector<std::string> grants;
        for (const FakeSignInPlatform::Post& post : platform.posts) {
            EXPECT_EQ(post.url, "http://127.0.0.1:9/token");
            grants.push_back(post.body.substr(11, post.body.find('&') - 11));
        }
        EXPECT_EQ(grants, row.grants);
        EXPECT_EQ(store.token, row.keptAfter);
        // The browser opens only for the button, and only when no kept token serves.
        const bool browser = !row.requests.empty() || row.box == kSignInTextCancelled;
        EXPECT_EQ(window.CallsStartingWith("OpenWebAddress").size(), browser ? 1u : 0u);
        if (row.password[0] == '\0') {
            EXPECT_EQ(CountCommands("USER user"), usersBefore);
        }
        EXPECT_EQ(dialog.m_busy, 0);
        if (row.box.empty()) {
            EXPECT_TRUE(window.messages.empty());
        } else {
            ASSERT_EQ(window.messages.size(), 1u);
            EXPECT_EQ(window.messages[0].text, row.box);
        }
    }
}

// The sign-in's address carries the entry, the listener's redirect, the state and the challenge;
// the code is traded with the verifier; stray requests get an error status.
TEST_F(SignInCheckTest, BrowserAddressAndCodeTradeCarryTheSignInsValues)
{
    FakeSignInPlatform platform;
    platform.answers.push_back(Tokens("A1", "R1"));
    platform.requests = {"/favicon.ico", "/?code=C%2B1&state=STATE"};
    MemoryTokenStore store;
    CSignIn signIn(platform, store, [](const std::string& section, const std::string& key) {
        const std::map<std::string, std::string> values = {{"AuthorizeUrl", "http://127.0.0.1:9/authorize"},
                                                           {"TokenUrl", "http://127.0.0.1:9/token"},
                                                           {"ClientId", "kelvor-test"},
                                                           {"Scope", "mail"}};
        return section == "OAuth2:127.0.0.1" && values.count(key) ? values.at(key) : std::string();
    });
    server.SetMessages(Mailbox(1));
    server.AcceptTokens({"A1"});
    StartWindow(1, 0);
    dialog.m_password.clear();
    window.texts[IDC_PASSWORD].clear();
    dialog.SetSignIn(&signIn);
    dialog.OnCommand(IDC_SHOWLIST);

    EXPECT_EQ(window.CallsStartingWith("OpenWebAddress"),
              std::vector<std::string>{"OpenWebAddress http://127.0.0.1:9/authorize?response_type=code&client_id=kelvor-test"
                                       "&redirect_uri=http%3A%2F%2F127.0.0.1%3A8642%2F&scope=mail&state=" + kFakeState +
                                       "&code_challenge=" + kChallenge + "&code_challenge_method=S256&login_hint=user"});
    EXPECT_EQ(window.CallsStartingWith("WaitForSignIn"), std::vector<std::string>{"WaitForSignIn 1"});
    EXPECT_EQ(platform.answeredStatuses, (std::vector<int>{400, 200}));
    EXPECT_FALSE(platform.alsoIpv6);
    ASSERT_EQ(platform.posts.size(), 1u);
    EXPECT_EQ(platform.posts[0].body, "grant_type=authorization_code&code=C%2B1&redirect_uri=http%3A%2F%2F127.0.0.1%3A8642%2F"
                                      "&client_id=kelvor-test&code_verifier=AQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQE");
    EXPECT_EQ(window.listEntries.size(), 1u);
}

}  // namespace
