// Encrypted connections that must not be made, against the scripted server: STLS refused or
// followed by injected replies, a cleartext server on a TLS port, a server that closes or
// stalls in the handshake. Each ends the login with its text, and neither USER nor PASS nor
// anything after STLS is ever sent.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ScriptedPop3Server.h"
#include "Stopwatch.h"
#include "pop3/Pop3Client.h"

namespace {

const std::string kHandshakeFailed = "暗号化通信を開始できませんでした (TLS handshake failed)\r\n";
const std::string kStlsError = "STLSコマンド処理中にエラー発生 (Error occured during STLS command)\r\n";
const std::string kTimedOut = "the server did not answer within the time limit";

struct RefusalRow {
    const char* behaviour;
    const char* scheme;
    std::function<void(CScriptedPop3Server&)> script;
    // The whole error text, or with reasonFollows its beginning, after which the library
    // gives its reason on one line.
    std::string errorText;
    bool reasonFollows;
    // What the client sent, when the server can read it: everything up to the refusal.
    const char* sent;
};

// The first handshake of a process reads the system's trusted roots, which takes long under
// the sanitizers; the timed cases begin after it.
class Pop3Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CScriptedPop3Server server;
        server.CloseConnection();
        CPop3Client client;
        client.Login("pop3s://" + server.Address(), "alice", "s3cret");
    }
};

void Greet(CScriptedPop3Server& server)
{
    server.Reply("+OK POP3 ready\r\n");
}

void GreetAndAnswerStls(CScriptedPop3Server& server, const std::string& reply)
{
    server.Reply("+OK POP3 ready\r\n").Expect("STLS\r\n").Reply(reply);
}

TEST_F(Pop3Tls, ConnectionsThatCannotBeSecuredEndTheLoginBeforeAnyCommand)
{
    const int limit = 300;
    const std::vector<RefusalRow> rows = {
        {"STLS refused", "pop3+starttls",
         [](CScriptedPop3Server& s) { GreetAndAnswerStls(s, "-ERR TLS not available\r\n"); },
         kStlsError + "-ERR TLS not available\r\n", false, "STLS\r\n"},
        {"STLS answered with neither +OK nor -ERR", "pop3+starttls",
         [](CScriptedPop3Server& s) { GreetAndAnswerStls(s, "OK go ahead\r\n"); },
         kStlsError + "OK go ahead\r\n", false, "STLS\r\n"},
        {"STLS answered by closing the connection", "pop3+starttls",
         [](CScriptedPop3Server& s) { Greet(s); s.Expect("STLS\r\n").CloseConnection(); },
         kStlsError, false, "STLS\r\n"},
        {"replies injected after the +OK of STLS", "pop3+starttls",
         [](CScriptedPop3Server& s) { GreetAndAnswerStls(s, "+OK Begin TLS\r\n+OK\r\n+OK 1 1\r\n"); },
         kHandshakeFailed + "the server sent more than its reply to STLS", false, "STLS\r\n"},
        {"STLS accepted, then no handshake", "pop3+starttls",
         [](CScriptedPop3Server& s) { GreetAndAnswerStls(s, "+OK Begin TLS\r\n"); s.Stall(); },
         kHandshakeFailed + kTimedOut, false, nullptr},
        {"a server that stalls in the handshake", "pop3s", [](CScriptedPop3Server& s) { s.Stall(); },
         kHandshakeFailed + kTimedOut, false, nullptr},
        {"a cleartext server on a TLS port", "pop3s",
         [](CScriptedPop3Server& s) { Greet(s); s.Stall(); }, kHandshakeFailed, true, nullptr},
        {"a server that closes in the handshake", "pop3s",
         [](CScriptedPop3Server& s) { s.Pause(50).CloseConnection(); }, kHandshakeFailed, true, nullptr},
        {"STLS accepted, then closed in the handshake", "pop3+starttls",
         [](CScriptedPop3Server& s) { GreetAndAnswerStls(s, "+OK Begin TLS\r\n"); s.Pause(50).CloseConnection(); },
         kHandshakeFailed, true, nullptr},
    };
    // Every row on each loopback address: over IPv6 the same refusals must hold.
    std::vector<Loopback> loopbacks = {Loopback::Ipv4};
    if (CScriptedPop3Server(0, Loopback::Ipv6).Port() != 0)
        loopbacks.push_back(Loopback::Ipv6);
    else
        std::printf("the rows over IPv6 are skipped: this machine's loopback has no ::1\n");
    for (std::size_t run = 0; run < rows.size() * loopbacks.size(); ++run) {
        const RefusalRow& row = rows[run % rows.size()];
        SCOPED_TRACE(row.behaviour);
        CScriptedPop3Server server(0, loopbacks[run / rows.size()]);
        SCOPED_TRACE(server.Address());
        row.script(server);
        {
            CPop3Client client;
            client.SetTimeLimit(limit);
            CStopwatch stopwatch;
            EXPECT_EQ(client.Login(std::string(row.scheme) + "://" + server.Address(), "alice", "s3cret"), 0);
            const long long elapsed = stopwatch.ElapsedMilliseconds();
            EXPECT_LT(elapsed, limit + 500);
            // A time-out waits the whole limit out.
            if (row.errorText.ends_with(kTimedOut)) {
                EXPECT_GE(elapsed, limit - 20);
            }
            const std::string text = client.GetErrorText();
            if (row.reasonFollows) {
                ASSERT_EQ(text.substr(0, row.errorText.size()), row.errorText) << text;
                std::string reason = text.substr(row.errorText.size());
                EXPECT_FALSE(reason.empty());
                EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
            } else {
                EXPECT_EQ(text, row.errorText);
            }
            // A failed login leaves nothing open: QUIT goes nowhere and waits for nothing.
            CStopwatch afterwards;
            EXPECT_EQ(client.Quit(), 1);
            EXPECT_LT(afterwards.ElapsedMilliseconds(), limit);
        }
        EXPECT_TRUE(server.WaitUntilScriptEnds());
        const std::string received = server.Received();
        if (row.sent != nullptr) {
            EXPECT_EQ(received, row.sent);
        }
        EXPECT_EQ(received.find("USER"), std::string::npos);
        EXPECT_EQ(received.find("QUIT"), std::string::npos);
        EXPECT_EQ(server.Failures(), "");
    }
}

}  // namespace
