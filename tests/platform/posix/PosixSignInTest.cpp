// The Linux sign-in platform against a Dovecot that takes bearer tokens, its TLS certificates and
// the test authorization server beside it (dovecot.sh --oauth2 --tls), whose refresh tokens are
// longer than some keepers hold: token requests, the redirect listener, sign-ins across restarts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DovecotServer.h"
#include "LoopbackListener.h"
#include "TemporaryDirectory.h"
#include "app/RefreshTokenSetting.h"
#include "platform/posix/PosixProfile.h"
#include "platform/posix/PosixSignInPlatform.h"
#include "pop3/Pop3Client.h"
#include "pop3/TcpStream.h"
#include "signin/SignInFlow.h"
#include "signin/SignInTexts.h"

namespace {

class PosixSignIn : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<CDovecotServer>();
        s_server->UseOAuth2({"--refresh-token-length=3000"});
        if (!s_server->Start(KELVOR_DOVECOT_SCRIPT, {{"kelvor", "", {}}}, s_startError, true)) {
            s_server.reset();
            return;
        }
        setenv("SSL_CERT_FILE", s_server->CertificateAuthorityFile().c_str(), 1);
    }

    static void TearDownTestSuite()
    {
        unsetenv("SSL_CERT_FILE");
        s_server.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_server) << "Dovecot could not be started: " << s_startError;
    }

    static inline std::unique_ptr<CDovecotServer> s_server;
    static inline std::string s_startError;
    PosixSignInPlatform m_platform;
};

struct PostRow {
    const char* why;
    std::string url;
    std::size_t maxBytes;
    int result;
    std::string inReason;  // a piece of the reason, or of the body when the answer came
};

TEST_F(PosixSignIn, TokenRequestsGoOnlyWhereAndAsFarAsAllowed)
{
    const std::string token = s_server->AuthorizationServer() + "/token";
    auto Tls = [](const char* host) { return "https://" + std::string(host) + ":" + std::to_string(s_server->TlsPort()); };
    int silentPort = 0;
    const int silent = ListenOnLoopback(4, silentPort);  // takes connections, never answers
    ASSERT_GE(silent, 0);
    const std::vector<PostRow> rows = {
        {"a loopback http: endpoint answers, its refusal included", token, 4096, 1, "invalid_grant"},
        {"an answer over the cap", token, 16, 0, "longer than 16 bytes"},
        {"http: leaves this computer never", "http://192.0.2.1/token", 4096, 0, "only https:"},
        {"nor does any other scheme", "ftp://127.0.0.1/token", 4096, 0, "only https:"},
        {"an address that cannot be read", "no address", 4096, 0, "cannot be read"},
        {"a server that never answers", "http://127.0.0.1:" + std::to_string(silentPort) + "/", 4096, 0,
         "no answer within 1000 ms"},
        {"the server's own certificate passes", Tls("127.0.0.1"), 4096, 0, "HTTP/0.9"},
        {"a CA nobody trusts", Tls("127.0.0.5"), 4096, 0, "unable to get local issuer certificate"},
        {"self-signed", Tls("127.0.0.6"), 4096, 0, "self-signed certificate"},
        {"expired", Tls("127.0.0.4"), 4096, 0, "certificate has expired"},
        {"for another address", Tls("127.0.0.3"), 4096, 0, "IP address mismatch"},
    };
    for (const PostRow& row : rows) {
        SCOPED_TRACE(row.why);
        HttpResponse response;
        std::string reason;
        ASSERT_EQ(m_platform.PostForm(row.url, "grant_type=authorization_code&code=x&client_id=kelvor-test", 1000,
                                      row.maxBytes, response, reason),
                  row.result)
            << reason;
        const std::string& seen = row.result == 1 ? response.body : reason;
        EXPECT_NE(seen.find(row.inReason), std::string::npos) << seen;
    }
    close(silent);
}

struct ListenerRow {
    const char* why;
    const char* address;
    std::vector<std::string> pieces;
    std::string target;  // empty: the connection is closed unanswered
};

// What the listener sends until it closes the connection; "(open)" after it if it did not.
std::string ReadToClose(CTcpStream& client)
{
    std::string received;
    char buffer[1024];
    int count = 0;
    while ((count = client.Receive(buffer, sizeof buffer, 5000)) > 0)
        received.append(buffer, static_cast<std::size_t>(count));
    return count == 0 ? received : received + "(open)";
}

TEST_F(PosixSignIn, TheListenerAnswersOnlyAWholeGet)
{
    const std::vector<ListenerRow> rows = {
        {"a GET in pieces, beside a connection that sends nothing", "127.0.0.1",
         {"GET /?code=abc&st", "ate=xyz HTTP/1.1\r\nHost: 127.0.0.1\r\n", "\r\n"}, "/?code=abc&state=xyz"},
        {"over ::1 at the same port", "::1", {"GET /?state=s HTTP/1.1\r\nHost: localhost\r\n\r\n"}, "/?state=s"},
        {"not a GET", "127.0.0.1", {"POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n"}, ""},
        {"a TLS greeting", "127.0.0.1", {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11)}, ""},
        {"a target that is not a path", "127.0.0.1", {"GET http://evil/ HTTP/1.1\r\n\r\n"}, ""},
        {"a request over the cap", "127.0.0.1", {"GET /" + std::string(9000, 'a')}, ""},
    };
    for (const ListenerRow& row : rows) {
        SCOPED_TRACE(row.why);
        std::unique_ptr<RedirectListener> listener = m_platform.NewRedirectListener();
        int port = 0;
        std::string reason;
        ASSERT_EQ(listener->Open(true, port, reason), 1) << reason;
        CTcpStream idle;
        CTcpStream client;
        ASSERT_EQ(idle.Connect("127.0.0.1", port, 5000), 1);
        if (client.Connect(row.address, port, 5000) != 1) {
            std::printf("skipped: no connection to %s on this machine\n", row.address);
            continue;
        }
        std::string target;
        for (const std::string& piece : row.pieces) {
            EXPECT_EQ(listener->NextRequest(target), 0);
            ASSERT_EQ(client.SendAll(piece.data(), piece.size(), 5000), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        int state = 0;
        for (int poll = 0; poll < (row.target.empty() ? 20 : 200) && state == 0; ++poll) {
            state = listener->NextRequest(target);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(state, row.target.empty() ? 0 : 1);
        if (state == 1) {
            EXPECT_EQ(target, row.target);
            listener->Answer(200, "<p>You may close this window.</p>");
        }
        EXPECT_EQ(ReadToClose(client), row.target.empty() ? "" : "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8"
                  "\r\nContent-Length: 33\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n<p>You may close this window.</p>");
        listener->Close();
        EXPECT_EQ(listener->NextRequest(target), -1);
    }
}

// The stand-in browser (a person signed in who consents), and a wait that polls as the box does.
class StandInBrowser : public SignInBrowser {
public:
    bool Open(const std::string& address) override
    {
        ++opened;
        return std::system((std::string(KELVOR_STAND_IN_BROWSER) + " '" + address + "' >/dev/null 2>&1 &").c_str()) == 0;
    }

    bool Wait(const std::function<bool()>& poll) override
    {
        for (int tick = 0; tick < 300; ++tick, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            if (poll())
                return true;
        }
        return false;
    }

    int opened = 0;
};

// One run of the program: its settings file (which keeps the refresh token) and its sign-in.
struct ProgramRun {
    explicit ProgramRun(const std::string& folder, PosixSignInPlatform& platform)
        : profile(folder),
          tokens(profile, keeper, "Settings", "kelvor.INI"),
          signIn(platform, tokens, [this](const std::string& section, const std::string& key) {
              return profile.GetString(section, key, "", "kelvor.INI");
          })
    {
    }

    int LogIn(const std::string& server, bool userAsked, StandInBrowser& browser, std::string& errorText)
    {
        std::string token;
        if (!signIn.AccessToken("127.0.0.1", "kelvor", userAsked, browser, token, errorText))
            return 0;
        CPop3Client client;
        const int loggedIn = client.LoginWithToken(server, "kelvor", token);
        errorText = client.GetErrorText();
        client.Quit();
        return loggedIn;
    }

    PosixProfile profile;
    NoPasswordKeeper keeper;
    CRefreshTokenSetting tokens;
    CSignIn signIn;
};

TEST_F(PosixSignIn, SignInKeepsTheRotatedTokenAcrossRestartsUntilRevoked)
{
    TemporaryDirectory folder;
    const std::string provider = s_server->AuthorizationServer();
    folder.WriteFile("kelvor.INI", "[OAuth2:127.0.0.1]\nAuthorizeUrl=" + provider + "/authorize\nTokenUrl=" + provider +
                                       "/token\nClientId=kelvor-test\nScope=mail\n");
    StandInBrowser browser;
    std::string errorText;
    {
        ProgramRun first(folder.Path(), m_platform);
        EXPECT_EQ(first.LogIn(s_server->Address(), false, browser, errorText), 0);
        EXPECT_EQ(errorText, kSignInTextNeeded) << "a timer check never opens the browser";
        ASSERT_EQ(first.LogIn(s_server->Address(), true, browser, errorText), 1) << errorText;
    }
    // Each restart refreshes with the kept token, which the server rotates and spends: the
    // second restart works only if the first kept the new one.
    std::string kept;
    for (int restart = 0; restart < 2; ++restart) {
        ProgramRun again(folder.Path(), m_platform);
        std::string before;
        ASSERT_EQ(again.tokens.Read("127.0.0.1", "kelvor", before), 1);
        EXPECT_EQ(before.size(), 3000u);
        ASSERT_EQ(again.LogIn(s_server->Address(), false, browser, errorText), 1) << errorText;
        ASSERT_EQ(again.tokens.Read("127.0.0.1", "kelvor", kept), 1);
        EXPECT_NE(kept, before);
    }
    EXPECT_EQ(browser.opened, 1);

    HttpResponse revoked;
    std::string reason;
    ASSERT_EQ(m_platform.PostForm(provider + "/revoke", "token=" + kept + "&client_id=kelvor-test", 5000, 4096,
                                  revoked, reason),
              1)
        << reason;
    ProgramRun afterRevocation(folder.Path(), m_platform);
    EXPECT_EQ(afterRevocation.LogIn(s_server->Address(), false, browser, errorText), 0);
    EXPECT_EQ(errorText, kSignInTextNeeded);
    EXPECT_EQ(afterRevocation.tokens.Read("127.0.0.1", "kelvor", kept), 0) << "the refused token is forgotten";
    ASSERT_EQ(afterRevocation.LogIn(s_server->Address(), true, browser, errorText), 1) << errorText;
    EXPECT_EQ(browser.opened, 2);
}

}  // namespace
