// Servers that answer as an attacker would: responses that never end, replies that dribble,
// counts far beyond the listing. Each ends its step with a text, in bounded time and memory.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "LoginTranscript.h"
#include "ScriptedPop3Server.h"
#include "Stopwatch.h"
#include "pop3/Pop3Client.h"
#include "pop3/UniqueIdSet.h"

namespace {

// Servers that answer as an attacker would. Each row ends its step with the text shown, the
// program still running, within the time a reply may take (the time limit from its command)
// or a response may take (the time limit and what came earns, at most its cap at 64 KiB/s),
// here with a second of margin; an honest reply of a few hundred bytes is still read whole.
TEST(Pop3Hostile, HostileServersEndTheirStepWithinBoundedTimeAndMemory)
{
    const int limit = 1000;
    const std::vector<Exchange> login = {kGreeting, kUserAccepted, kPassAccepted,
                                         {"STAT \r\n", "+OK 1 200\r\n"}, kNoopAccepted,
                                         {"LIST \r\n", "+OK\r\n1 200\r\n.\r\n"}};
    // Each step after a login returns the text it shows; no step means a login that fails.
    using Step = std::function<std::string(CPop3Client&)>;
    const Step loginStep;
    const Step summary = [](CPop3Client& client) {
        std::string line;
        EXPECT_EQ(client.RetrieveSummary(1, line), 0);
        return client.GetErrorText();
    };
    const Step message = [](CPop3Client& client) {
        std::string text;
        EXPECT_EQ(client.RetrieveMessage(1, text), 0);
        return client.GetErrorText();
    };
    const Step uniqueIds = [](CPop3Client& client) {
        CUniqueIdSet ids;
        ids.Add("left from before");
        EXPECT_EQ(client.UniqueIds(ids), 0);
        EXPECT_TRUE(ids.Empty());
        return client.GetErrorText();
    };
    const Step capabilities = [](CPop3Client& client) {
        return std::to_string(client.Capa()) + client.GetErrorText();
    };
    // The viewer's message 2 of a listing in reverse order; what came of its dribble is shown,
    // here its status line and x's.
    const Step dribbledMessage = [](CPop3Client& client) {
        std::string text;
        EXPECT_EQ(client.RetrieveMessage(2, text), 0);
        const std::string error = client.GetErrorText();
        return error.substr(0, error.find_last_not_of('x') + 1);
    };
    const Step listedCount = [](CPop3Client& client) {
        EXPECT_EQ(client.GetMessageCount(), 2147483647);
        return "listed " + std::to_string(client.GetListedCount());
    };
    struct Row {
        const char* behaviour;
        std::vector<Exchange> before;
        std::function<void(CScriptedPop3Server&)> hostile;
        Step step;
        std::string text;
        long long boundMilliseconds;
    };
    const long long oneMegabyteAt64KiB = 16000;
    const std::string endlessLine = "Received: from a server whose response never ends\r\n";
    // Two minutes at one byte every 0.25 s: far longer than any bound below.
    const std::string dribble(480, 'x');
    const std::vector<Row> rows = {
        {"endless header", login,
         [&](CScriptedPop3Server& s) { s.Expect("TOP 1 0\r\n").Reply("+OK\r\n").ReplyEndlessly(endlessLine); },
         summary, kResponseTooLarge + "\r\nTOP 1 0", limit + oneMegabyteAt64KiB},
        {"endless message through TOP", login,
         [&](CScriptedPop3Server& s) { s.Expect("TOP 1 200\r\n").Reply("+OK\r\n").ReplyEndlessly(endlessLine); },
         message, kResponseTooLarge + "\r\nTOP 1 200", limit + oneMegabyteAt64KiB},
        {"endless message through RETR", login,
         [&](CScriptedPop3Server& s) {
             s.Expect("TOP 1 200\r\n").Reply("-ERR no TOP here\r\n");
             s.Expect("RETR 1\r\n").Reply("+OK\r\n").ReplyEndlessly(endlessLine);
         },
         message, kResponseTooLarge + "\r\nRETR 1", limit + oneMegabyteAt64KiB},
        {"endless listing", {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "+OK 3 600\r\n"}, kNoopAccepted},
         [](CScriptedPop3Server& s) { s.Expect("LIST \r\n").Reply("+OK\r\n").ReplyEndlessly("1 100\r\n"); },
         loginStep, kResponseTooLarge + "\r\nLIST", limit},
        {"endless unique ids: never shown", login,
         [](CScriptedPop3Server& s) { s.Expect("UIDL\r\n").Reply("+OK\r\n").ReplyEndlessly("1 id\r\n"); },
         uniqueIds, "", limit},
        {"endless capabilities: never shown", login,
         [](CScriptedPop3Server& s) { s.Expect("CAPA\r\n").Reply("+OK\r\n").ReplyEndlessly("X-MORE\r\n"); },
         capabilities, "0", limit},
        {"greeting one byte every 0.4 s", {},
         [](CScriptedPop3Server& s) { s.Dribble("+OK POP3 server at a dribble\r\n", 400); },
         loginStep, kStatError + "\r\n", limit},
        {"reply one byte every 0.4 s", {kGreeting},
         [](CScriptedPop3Server& s) { s.Expect("USER alice\r\n").Dribble("+OK go on, slowly\r\n", 400); },
         loginStep, kStatError + "\r\n", limit},
        {"a claimed count far beyond the listing",
         {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "+OK 99999999999999999999 100\r\n"},
          kNoopAccepted, {"LIST \r\n", "+OK\r\n1 100\r\n.\r\n"}},
         [](CScriptedPop3Server&) {}, listedCount, "listed 1", limit},
        {"a listing one byte every 0.25 s after a huge STAT: what came earns no minutes",
         {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "+OK 2147483647 4000000000\r\n"}, kNoopAccepted},
         [&](CScriptedPop3Server& s) { s.Expect("LIST \r\n").Reply("+OK\r\n").Dribble(dribble, 250); },
         loginStep, kListError, 3 * limit},
        {"a huge message one byte every 0.25 s, listed second before the first",
         {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "+OK 2 200000003\r\n"}, kNoopAccepted,
          {"LIST \r\n", "+OK\r\n2 200000000\r\n1 3\r\n.\r\n"}},
         [&](CScriptedPop3Server& s) { s.Expect("TOP 2 200000000\r\n").Reply("+OK\r\n").Dribble(dribble, 250); },
         dribbledMessage, kRetrieveError + "\r\n+OK\r\n", 3 * limit},
        {"a greeting line that never ends", {},
         [](CScriptedPop3Server& s) { s.Reply("+OK " + std::string(1 << 20, 'x')).Stall(); },
         loginStep, kStatError + "\r\n", limit},
        {"a refusal of 300 bytes in pieces is read whole", {kGreeting},
         [](CScriptedPop3Server& s) {
             s.Expect("USER alice\r\n").ReplyInPieces({"-ERR ", std::string(150, 'r'), std::string(150, 'r') + "\r\n"});
         },
         loginStep, kBadUsername + "\r\n-ERR " + std::string(300, 'r') + "\r\n", limit},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        CScriptedPop3Server server;
        Script(server, row.before);
        row.hostile(server);
        CPop3Client client;
        client.SetTimeLimit(limit);
        CStopwatch stopwatch;
        const int loggedIn = client.Login(server.Address(), "alice", "s3cret");
        EXPECT_EQ(loggedIn, row.step ? 1 : 0) << client.GetErrorText();
        EXPECT_EQ(row.step ? row.step(client) : client.GetErrorText(), row.text);
        EXPECT_LT(stopwatch.ElapsedMilliseconds(), row.boundMilliseconds + 1000);
    }
}

}  // namespace
