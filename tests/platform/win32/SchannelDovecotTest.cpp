// The Windows client over Schannel against a real Dovecot beside Wine: POP3 over TLS and STLS
// give the mailbox as cleartext does, and certificates that do not prove the server are
// refused with our own reasons. The faulty certificates sit on 127.0.0.3 to 127.0.0.8 (see
// tools/dovecot/dovecot.sh); the good one is reached by the name localhost, at 127.0.0.2 and
// at ::1 where the machine has it. The sign-in's token requests go over the same TLS; and the
// sign-in itself, through winebrowser and the stand-in browser, gets a token that the second
// Dovecot (with passdb oauth2) takes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ProgramDriver.h"
#include "ScriptedPop3Server.h"
#include "TlsMailboxChecks.h"
#include "TlsTestServer.h"
#include "platform/win32/CredentialKeeper.h"
#include "platform/win32/Win32SignInPlatform.h"
#include "platform/win32/Win32Window.h"
#include "pop3/Pop3Client.h"
#include "signin/SignInFlow.h"

namespace {

const std::string kCertificateNotTrusted =
    "サーバ証明書を確認できませんでした (Server certificate not trusted)\r\n";

class SchannelDovecot : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(FindTlsTestServer(m_server, error)) << error;
    }

    std::string Tls(const std::string& host) const
    {
        return "pop3s://" + host + ":" + std::to_string(m_server.tlsPort);
    }

    std::string StartTls(const std::string& host) const
    {
        return "pop3+starttls://" + host + ":" + std::to_string(m_server.port);
    }

    TlsTestServer m_server;
};

TEST_F(SchannelDovecot, EncryptedConversationsSeeTheMailboxAsCleartextDoes)
{
    // Dovecot takes cleartext logins from its own address only.
    const MailboxView cleartext = ViewMailbox("127.0.0.1:" + std::to_string(m_server.port), m_server.user,
                                              m_server.password);
    ASSERT_GT(cleartext.count, 0);
    std::vector<std::string> servers = {Tls("localhost"), StartTls("localhost"),
                                        "POP3S://localhost:" + std::to_string(m_server.tlsPort) + "/",
                                        // Addresses are checked against the certificate's by our own check.
                                        Tls("127.0.0.2"), StartTls("127.0.0.2")};
    if (CScriptedPop3Server(0, Loopback::Ipv6).Port() != 0)
        servers.insert(servers.end(), {"[::1]:" + std::to_string(m_server.port), Tls("[::1]"), StartTls("[::1]")});
    else
        std::printf("the logins over [::1] are skipped: this machine's loopback has no ::1\n");
    for (const std::string& server : servers) {
        SCOPED_TRACE(server);
        ExpectSameMailbox(ViewMailbox(server, m_server.user, m_server.password), cleartext);
    }
}

TEST_F(SchannelDovecot, CertificatesThatDoNotProveTheServerAreRefused)
{
    const std::vector<RefusedServer> rows = {
        // The server sends only its own certificate, from a CA nobody trusts.
        {Tls("127.0.0.5"), "partial chain"},
        {Tls("127.0.0.6"), "untrusted root"},
        {Tls("127.0.0.4"), "expired"},
        {Tls("127.0.0.3"), "name mismatch"},
        {StartTls("127.0.0.4"), "expired"},
        {StartTls("127.0.0.3"), "name mismatch"},
        // An address, and a certificate that names none.
        {Tls("127.0.0.7"), "name mismatch"},
    };
    ExpectLoginsRefused(rows, m_server.user, m_server.password, kCertificateNotTrusted);
}

// A token request meets the POP3 connection's certificate rules; the good certificate lets
// the request through to a server that does not speak HTTP.
TEST_F(SchannelDovecot, TokenRequestsCheckCertificatesAsThePop3ConnectionDoes)
{
    const struct {
        std::string url;
        const char* reason;
    } rows[] = {
        {"https://127.0.0.3:" + std::to_string(m_server.tlsPort) + "/token", "name mismatch"},
        {"https://127.0.0.4:" + std::to_string(m_server.tlsPort) + "/token", "expired"},
        {"https://127.0.0.6:" + std::to_string(m_server.tlsPort) + "/token", "untrusted root"},
        {"https://localhost:" + std::to_string(m_server.tlsPort) + "/token", "did not answer in HTTP"},
        {"http://pop.example.jp/token", "loopback"},
    };
    CWin32SignInPlatform platform;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        HttpResponse response;
        std::string reason;
        EXPECT_EQ(platform.PostForm(row.url, "grant_type=x", 10000, 4096, response, reason), 0);
        EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
    }
}

// The refresh token kept where the program keeps it: the Credential Manager, split.
class CredentialTokenStore : public RefreshTokenStore {
public:
    int Read(const std::string& host, const std::string& user, std::string& token) override
    {
        return keeper.Read(host, user, token) == KeeperAnswer::Done ? 1 : 0;
    }
    void Store(const std::string& host, const std::string& user, const std::string& token) override
    {
        EXPECT_EQ(keeper.Store(host, user, token), KeeperAnswer::Done);
    }
    void Forget(const std::string& host, const std::string& user) override { keeper.Forget(host, user); }

    CTokenCredentialKeeper keeper{"kelvor-test"};
};

// The browser as the program opens it, through the shell (winebrowser, the stand-in), and a
// wait that polls as the waiting box does.
class ShellBrowser : public SignInBrowser {
public:
    bool Open(const std::string& address) override { return window.OpenWebAddress(address); }
    bool Wait(const std::function<bool()>& poll) override { return WaitUntil(poll, 60000); }

    CWin32Window window{GetModuleHandleA(nullptr)};
};

// The sign-in in the browser gives a token Dovecot takes; the refresh token, longer than one
// credential holds, is kept; a sign-in made afresh (as after a restart) refreshes it without
// the browser, and the rotated token is kept in its place.
TEST(Win32SignIn, BrowserSignInThenRefreshAfterARestartLogInToDovecot)
{
    SignInTestServer server;
    std::string error;
    ASSERT_TRUE(FindSignInTestServer(server, error)) << error;
    const SettingReader settings = [&](const std::string& section, const std::string& key) -> std::string {
        if (section != "OAuth2:127.0.0.1")
            return "";
        if (key == "AuthorizeUrl")
            return server.authorizationServer + "/authorize";
        if (key == "TokenUrl")
            return server.authorizationServer + "/token";
        return key == "ClientId" ? "kelvor-test" : key == "Scope" ? "mail" : "";
    };
    const std::string pop3Server = "127.0.0.1:" + std::to_string(server.port);
    CWin32SignInPlatform platform;
    CredentialTokenStore store;
    ShellBrowser browser;
    store.keeper.Forget("127.0.0.1", server.user);
    std::string kept;
    for (bool interactive : {true, false}) {
        SCOPED_TRACE(interactive ? "signed in in the browser" : "refreshed after a restart");
        const int opened = LineCount(server.browserLog);
        CSignIn signIn(platform, store, settings);
        std::string token;
        ASSERT_EQ(signIn.AccessToken("127.0.0.1", server.user, interactive, browser, token, error), 1) << error;
        EXPECT_EQ(LineCount(server.browserLog), opened + (interactive ? 1 : 0));
        CPop3Client client;
        EXPECT_EQ(client.LoginWithToken(pop3Server, server.user, token), 1) << client.GetErrorText();
        client.Quit();
        std::string refresh;
        ASSERT_EQ(store.keeper.Read("127.0.0.1", server.user, refresh), KeeperAnswer::Done);
        EXPECT_GT(refresh.size(), CTokenCredentialKeeper::kPartBytes);
        EXPECT_NE(refresh, kept);
        kept = refresh;
    }
    EXPECT_EQ(store.keeper.Forget("127.0.0.1", server.user), KeeperAnswer::Done);
}

}  // namespace
