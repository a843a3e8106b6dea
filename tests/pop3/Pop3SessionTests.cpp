// Transcript tests of the login dialogue, UIDL and QUIT: the exact command bytes the client
// sends, how it reads and tests each reply however the network cuts it, and its error texts.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "LoginTranscript.h"
#include "ScriptedPop3Server.h"
#include "Stopwatch.h"
#include "pop3/Pop3Client.h"
#include "pop3/UniqueIdSet.h"

namespace {

struct LoginRow {
    const char* behaviour;
    std::vector<Exchange> exchanges;
    int result;
    std::string errorText;
    std::string user = "alice";
    std::string password = "s3cret";
};

// Each row runs a whole login against its transcript, then destroys the client: the server
// must have received exactly the commands of the transcript, nothing after the failing step
// and nothing from the destructor.
TEST(Pop3Login, EachReplyDecidesTheLoginAsTheDialogueRulesSay)
{
    const std::vector<LoginRow> rows = {
        {"greeting refused: no server text in the message",
         {{"", "-ERR busy\r\n"}}, 0, kBadConnection},
        {"greeting refusal in small letters",
         {{"", "-err busy\r\n"}}, 0, kBadConnection},
        {"USER refused: the reply follows the message",
         {kGreeting, {"USER alice\r\n", "-ERR no such user\r\n"}},
         0, kBadUsername + "\r\n-ERR no such user\r\n"},
        {"USER refused in small letters",
         {kGreeting, {"USER alice\r\n", "-eRr who?\r\n"}}, 0, kBadUsername + "\r\n-eRr who?\r\n"},
        {"PASS refused",
         {kGreeting, kUserAccepted, {"PASS s3cret\r\n", "-ERR [AUTH] wrong\r\n"}},
         0, kBadPassword + "\r\n-ERR [AUTH] wrong\r\n"},
        {"STAT refused",
         {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "-ERR locked\r\n"}},
         0, kStatError + "\r\n-ERR locked\r\n"},
        {"STAT without a blank has no count",
         {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "+OK\r\n"}},
         0, kStatError + "\r\n+OK\r\n"},
        {"STAT answered with something other than +OK",
         {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "OK 2 300\r\n"}},
         0, kStatError + "\r\nOK 2 300\r\n"},
        {"LIST refused",
         {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, kNoopAccepted,
          {"LIST \r\n", "-ERR not now\r\n"}},
         0, kListError + "\r\n-ERR not now\r\n"},
        {"a refused NOOP does not stop the login",
         {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, {"NOOP\r\n", "-ERR no\r\n"}, kListTwo},
         1, ""},
        {"only a reply that begins with -ERR is a refusal",
         {{"", "hello\r\n"}, {"USER alice\r\n", " -ERR\r\n"}, {"PASS s3cret\r\n", "+OK\r\n"},
          kStatTwo, kNoopAccepted, kListTwo},
         1, ""},
        {"the whole sequence accepted",
         {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, kNoopAccepted, kListTwo}, 1, ""},
        {"a line break in the name or the password never makes a command of its own",
         {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, kNoopAccepted, kListTwo}, 1, "", "alice\rDELE 1", "s3cret\r"},
    };
    for (const LoginRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        CScriptedPop3Server server;
        Script(server, row.exchanges);
        {
            CPop3Client client;
            EXPECT_EQ(client.Login(server.Address(), row.user, row.password), row.result);
            if (row.result == 0) {
                EXPECT_EQ(client.GetErrorText(), row.errorText);
            }
        }
        EXPECT_TRUE(server.WaitUntilScriptEnds());
        EXPECT_EQ(server.Received(), CommandsOf(row.exchanges));
        EXPECT_EQ(server.Failures(), "");
    }
}

TEST(Pop3Login, StatCountIsTheFirstNumberWhateverTheCaseOfOk)
{
    const std::vector<std::pair<std::string, int>> rows = {
        {"+ok 3 4500\r\n", 3},
        {"+OK\t7 100\r\n", 7},
        {"+OK    12\r\n", 12},
        {"+OK none\r\n", 0},
        {"+OK -1 0\r\n", -1},
        {"+OK 99999999999 1\r\n", 2147483647},
    };
    for (const auto& [reply, count] : rows) {
        SCOPED_TRACE(reply);
        CScriptedPop3Server server;
        Script(server, {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", reply},
                        kNoopAccepted, {"LIST \r\n", "+OK\r\n.\r\n"}});
        CPop3Client client;
        ASSERT_EQ(client.Login(server.Address(), "alice", "s3cret"), 1) << client.GetErrorText();
        EXPECT_EQ(client.GetMessageCount(), count);
    }
}

// Replies cut by the network at awkward places are read whole: a refusal split after "-E"
// is still a refusal, and the tail of a reply is never taken for the next one.
TEST(Pop3Login, RepliesSplitIntoPiecesAreReadWhole)
{
    CScriptedPop3Server server;
    server.ReplyInPieces({"+O", "K ready", "\r", "\n"})
        .Expect("USER alice\r\n").ReplyInPieces({"+", "OK\r\n"})
        .Expect("PASS s3cret\r\n").ReplyInPieces({"+OK lo", "gged in\r\n"})
        .Expect("STAT \r\n").ReplyInPieces({"+OK 1", "2 3000\r\n"})
        .Expect("NOOP\r\n").ReplyInPieces({"+OK\r", "\n"})
        .Expect("LIST \r\n").ReplyInPieces({"+OK\r\n", "1 1", "00\r\n2", " 200\r\n", ".", "\r\n"})
        .Expect("QUIT \r\n").ReplyInPieces({"-E", "RR not yet\r\n"});
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "alice", "s3cret"), 1) << client.GetErrorText();
    EXPECT_EQ(client.GetMessageCount(), 12);
    EXPECT_EQ(client.GetListedSize(1), 100);
    EXPECT_EQ(client.GetListedSize(2), 200);
    EXPECT_EQ(client.Quit(), 0);
    EXPECT_EQ(client.GetErrorText(), kQuitError + "\r\n-ERR not yet\r\n");
    EXPECT_EQ(server.Failures(), "");
}

TEST(Pop3Login, RefusalSplitAfterItsFirstBytesIsStillARefusal)
{
    CScriptedPop3Server server;
    Script(server, {kGreeting});
    server.Expect("USER alice\r\n").ReplyInPieces({"-E", "RR unknown user\r\n"});
    CPop3Client client;
    EXPECT_EQ(client.Login(server.Address(), "alice", "s3cret"), 0);
    EXPECT_EQ(client.GetErrorText(), kBadUsername + "\r\n-ERR unknown user\r\n");
}

// Two replies that arrive in one piece are still two replies, and an overlong line is cut
// at 512 bytes without its tail being taken for the next reply.
TEST(Pop3Login, EachReplyEndsAtItsOwnLineEnd)
{
    CScriptedPop3Server server;
    server.Reply("+OK " + std::string(700, 'x') + "\r\n")
        .Expect("USER alice\r\n").Reply("+OK\r\n")
        .Expect("PASS s3cret\r\n").Reply("+OK\r\n")
        .Expect("STAT \r\n").Reply("+OK 1 10\r\n+OK extra line\r\n")
        .Expect("NOOP\r\n")
        .Expect("LIST \r\n").Reply("+OK\r\n1 10\r\n.\r\n");
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "alice", "s3cret"), 1) << client.GetErrorText();
    EXPECT_EQ(client.GetMessageCount(), 1);
    EXPECT_EQ(client.GetListedSize(1), 10);
    EXPECT_EQ(server.Failures(), "");
}

struct ListingRow {
    const char* behaviour;
    std::string stat;
    std::vector<std::string> listingPieces;
    std::vector<int> sizes;
};

TEST(Pop3Login, ListingSizesEachMessageItsLineNames)
{
    const std::vector<ListingRow> rows = {
        {"empty mailbox: nothing to fill", "+OK 0 0\r\n", {"+OK 0 messages\r\n.\r\n"}, {0}},
        {"status line first, the listing in later pieces", "+OK 3 600\r\n",
         {"+OK 3 messages\r\n", "1 100\r\n", "2 200\r\n3 3", "00\r\n", ".\r\n"}, {100, 200, 300}},
        {"the end line split from its line end", "+OK 1 5\r\n",
         {"+OK\r\n1 5\r\n.", "\r\n"}, {5}},
        {"lines beyond the count are ignored", "+OK 1 100\r\n",
         {"+OK\r\n1 100\r\n2 200\r\n.\r\n"}, {100, 0}},
        {"missing lines leave their entries 0", "+OK 3 100\r\n",
         {"+OK\r\n1 100\r\n.\r\n"}, {100, 0, 0}},
        {"a negative count keeps the table empty", "+OK -2 100\r\n",
         {"+OK\r\n1 100\r\n2 200\r\n.\r\n"}, {0, 0}},
        {"a number outside the count is skipped", "+OK 2 30\r\n",
         {"+OK\r\n7 10\r\n0 5\r\n2 20\r\n.\r\n"}, {0, 20}},
    };
    for (const ListingRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        CScriptedPop3Server server;
        Script(server, {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", row.stat},
                        kNoopAccepted});
        server.Expect("LIST \r\n").ReplyInPieces(row.listingPieces, 10);
        server.Expect("QUIT \r\n").Reply("+OK bye\r\n");
        CPop3Client client;
        ASSERT_EQ(client.Login(server.Address(), "alice", "s3cret"), 1) << client.GetErrorText();
        for (std::size_t i = 0; i < row.sizes.size(); ++i)
            EXPECT_EQ(client.GetListedSize(static_cast<int>(i) + 1), row.sizes[i]) << "message " << i + 1;
        // The whole listing was taken: the QUIT reply is read as QUIT's own.
        EXPECT_EQ(client.Quit(), 1);
        EXPECT_EQ(server.Failures(), "");
    }
}

TEST(Pop3Login, ListingOfFiftyThousandMessagesIsGatheredWhole)
{
    const int count = 50000;
    std::string listing = "+OK " + std::to_string(count) + " messages\r\n";
    for (int n = 1; n <= count; ++n)
        listing += std::to_string(n) + " " + std::to_string(1000 + n) + "\r\n";
    listing += ".\r\n";
    CScriptedPop3Server server;
    Script(server, {kGreeting, kUserAccepted, kPassAccepted,
                    {"STAT \r\n", "+OK " + std::to_string(count) + " 1\r\n"}, kNoopAccepted,
                    {"LIST \r\n", listing}});
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "alice", "s3cret"), 1) << client.GetErrorText();
    EXPECT_EQ(client.GetListedSize(1), 1001);
    EXPECT_EQ(client.GetListedSize(400), 1400);
    EXPECT_EQ(client.GetListedSize(count), 1000 + count);
}

TEST(Pop3Login, ConnectionClosedAfterGreetingFailsAtStat)
{
    CScriptedPop3Server server;
    Script(server, {kGreeting});
    server.CloseConnection();
    CPop3Client client;
    EXPECT_EQ(client.Login(server.Address(), "alice", "s3cret"), 0);
    EXPECT_EQ(client.GetErrorText(), kStatError + "\r\n");
}

TEST(Pop3Login, ConnectionClosedInTheMiddleOfTheListingFailsWithTheListErrorAlone)
{
    CScriptedPop3Server server;
    Script(server, {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, kNoopAccepted,
                    {"LIST \r\n", "+OK\r\n1 100\r\n"}});
    server.CloseConnection();
    CPop3Client client;
    EXPECT_EQ(client.Login(server.Address(), "alice", "s3cret"), 0);
    EXPECT_EQ(client.GetErrorText(), kListError);
}

TEST(Pop3Login, ServerThatCannotBeReachedIsAConnectionFailure)
{
    // A port that was just free: nothing listens there.
    int freePort = 0;
    {
        CScriptedPop3Server gone;
        freePort = gone.Port();
    }
    // A server that listens, at addresses written in forms that name it loosely: none of
    // them may reach it.
    CScriptedPop3Server live;
    const std::string livePort = std::to_string(live.Port());
    const std::vector<std::string> servers = {
        "127.0.0.1:" + std::to_string(freePort),
        "[::1]:" + std::to_string(freePort),
        "kelvor-no-such-host.invalid:110",
        "127.0.0.1:0",
        "127.0.0.1:65536",
        "127.0.0.1:",
        "127.0.0.1:pop3",
        "",
        "127.1:" + livePort,
        "2130706433:" + livePort,
        "0x7f.0.0.1:" + livePort,
        "0177.0.0.1:" + livePort,
        "127.0.0.1 x:" + livePort,
        " 127.0.0.1:" + livePort,
        "[127.0.0.1]:" + livePort,
        "[::ffff:127.0.0.1 ]:" + livePort,
        "::ffff:127.0.0.1:" + livePort,
    };
    for (const std::string& text : servers) {
        SCOPED_TRACE(text);
        CPop3Client client;
        EXPECT_EQ(client.Login(text, "alice", "s3cret"), 0);
        EXPECT_EQ(client.GetErrorText(), kCannotConnect);
    }
    EXPECT_EQ(live.ConnectionCount(), 0);
}

TEST(Pop3Login, ServerWithoutPortUsesPort110)
{
    CScriptedPop3Server server(110);
    if (!server.Failures().empty())
        GTEST_SKIP() << "port 110 cannot be bound here: " << server.Failures();
    Script(server, {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, kNoopAccepted, kListTwo});
    CPop3Client client;
    EXPECT_EQ(client.Login("127.0.0.1", "alice", "s3cret"), 1) << client.GetErrorText();
}

TEST(Pop3Login, LongUserNameAndPasswordAreSentWhole)
{
    const std::string user(100000, 'u');
    const std::string password = std::string(600, 'p') + "%s%d";
    CScriptedPop3Server server;
    server.Reply("+OK\r\n")
        .Expect("USER " + user + "\r\n").Reply("+OK\r\n")
        .Expect("PASS " + password + "\r\n").Reply("-ERR no\r\n");
    CPop3Client client;
    EXPECT_EQ(client.Login(server.Address(), user, password), 0);
    EXPECT_EQ(client.GetErrorText(), kBadPassword + "\r\n-ERR no\r\n");
    EXPECT_EQ(server.Failures(), "");
}

// A server that stops answering costs one time limit, not one per step: the receive that
// times out closes the connection, and every later step fails at once.
TEST(Pop3Login, StalledServerCostsOneTimeLimit)
{
    struct StallRow {
        const char* behaviour;
        std::vector<Exchange> before;
        std::string errorText;
    };
    const std::vector<StallRow> rows = {
        {"no greeting", {}, kStatError + "\r\n"},
        {"no reply to PASS", {kGreeting, kUserAccepted}, kStatError + "\r\n"},
        {"listing stops half way",
         {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, kNoopAccepted,
          {"LIST \r\n", "+OK\r\n1 100\r\n"}},
         kListError},
    };
    const int limit = 200;
    for (const StallRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        CScriptedPop3Server server;
        Script(server, row.before);
        server.Stall();
        CPop3Client client;
        client.SetTimeLimit(limit);
        CStopwatch stopwatch;
        EXPECT_EQ(client.Login(server.Address(), "alice", "s3cret"), 0);
        long long elapsed = stopwatch.ElapsedMilliseconds();
        EXPECT_EQ(client.GetErrorText(), row.errorText);
        EXPECT_GE(elapsed, limit - 20);
        EXPECT_LT(elapsed, limit + 500);
        // Everything after the time-out fails at once.
        CStopwatch afterwards;
        client.Quit();
        EXPECT_LT(afterwards.ElapsedMilliseconds(), limit);
    }
}

// A server that stops reading while a long command is on its way is given up once the
// sending has made no progress for a time limit, long before the server itself gives up.
TEST(Pop3Login, ServerThatStopsReadingIsGivenUp)
{
    const int limit = 100;
    // Far longer than the client may take under a loaded machine or the sanitizers.
    const int serverGivesUp = 4000;
    CScriptedPop3Server server;
    server.Reply("+OK\r\n").Pause(serverGivesUp).CloseConnection();
    CPop3Client client;
    client.SetTimeLimit(limit);
    const std::string hugeUser(16 << 20, 'u');
    CStopwatch stopwatch;
    EXPECT_EQ(client.Login(server.Address(), hugeUser, "s3cret"), 0);
    EXPECT_LT(stopwatch.ElapsedMilliseconds(), serverGivesUp - 1000);
    EXPECT_EQ(client.GetErrorText(), kStatError + "\r\n");
}

TEST(Pop3Quit, QuitRepliesDecideTheResult)
{
    const std::vector<std::tuple<std::string, int, std::string>> rows = {
        {"+OK bye\r\n", 1, ""},
        {"-ERR cannot\r\n", 0, kQuitError + "\r\n-ERR cannot\r\n"},
        {"-err cannot\r\n", 0, kQuitError + "\r\n-err cannot\r\n"},
    };
    for (const auto& [reply, result, errorText] : rows) {
        SCOPED_TRACE(reply);
        CScriptedPop3Server server;
        Script(server, {kGreeting, kUserAccepted, kPassAccepted, kStatTwo, kNoopAccepted,
                        kListTwo, {"QUIT \r\n", reply}});
        CPop3Client client;
        ASSERT_EQ(client.Login(server.Address(), "alice", "s3cret"), 1);
        EXPECT_EQ(client.Quit(), result);
        if (result == 0) {
            EXPECT_EQ(client.GetErrorText(), errorText);
        }
    }
}

TEST(Pop3Quit, QuitAfterAFailedLoginSendsOverWhateverConnectionThereIs)
{
    CScriptedPop3Server server;
    Script(server, {kGreeting, {"USER alice\r\n", "-ERR no\r\n"}, {"QUIT \r\n", "+OK\r\n"}});
    {
        CPop3Client client;
        EXPECT_EQ(client.Login(server.Address(), "alice", "s3cret"), 0);
        EXPECT_EQ(client.Quit(), 1);
    }
    EXPECT_TRUE(server.WaitUntilScriptEnds());
    EXPECT_EQ(server.Received(), "USER alice\r\nQUIT \r\n");
}

struct UniqueIdRow {
    const char* behaviour;
    int count;
    std::vector<std::string> replyPieces;
    std::vector<std::string> ids;  // expected; none when the listing is not taken
    bool serverCloses = false;     // after the reply pieces, instead of answering QUIT
};

// A listing is taken only when it gives one id of its own to each message from 1 to the
// count; anything else leaves no ids, and the check falls back to the count. The reply is
// always read whole, so that the reply after it is its own.
TEST(Pop3UniqueIds, ListingIsTakenOnlyWhenItGivesOneIdToEachMessage)
{
    const std::string longId(70, 'z');
    const std::vector<UniqueIdRow> rows = {
        {"one id per message", 2, {"+OK\r\n1 whqtswO00WBw418f9t5JxYwZ\r\n2 QhdPYR:00WBw1Ph7x7\r\n.\r\n"},
         {"whqtswO00WBw418f9t5JxYwZ", "QhdPYR:00WBw1Ph7x7"}},
        {"odd characters are kept byte for byte",
         4, {"+OK\r\n1 +/=.\r\n2   \x83\x40\x83\x41\r\n3 a\tb \r\n4 " + longId + "\r\n.\r\n"},
         {"+/=.", "\x83\x40\x83\x41", "a\tb ", longId}},
        {"in pieces", 2, {"+OK\r", "\n1 a", "b\r\n2 c", "d\r\n.", "\r\n"}, {"ab", "cd"}},
        {"empty mailbox", 0, {"+OK\r\n.\r\n"}, {}},
        {"refused", 2, {"-ERR no UIDL here\r\n"}, {}},
        {"fewer lines than the count", 3, {"+OK\r\n1 a\r\n2 b\r\n.\r\n"}, {}},
        {"more lines than the count", 1, {"+OK\r\n1 a\r\n2 b\r\n.\r\n"}, {}},
        {"numbers out of order", 2, {"+OK\r\n2 a\r\n1 b\r\n.\r\n"}, {}},
        {"one id for two messages", 2, {"+OK\r\n1 a\r\n2 a\r\n.\r\n"}, {}},
        {"a line without an id", 2, {"+OK\r\n1 a\r\n2 \r\n.\r\n"}, {}},
        {"a line without a number", 1, {"+OK\r\n a\r\n.\r\n"}, {}},
        {"the listing breaks off", 2, {"+OK\r\n1 a\r\n"}, {}, true},
    };
    for (const UniqueIdRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        const std::string count = std::to_string(row.count);
        CScriptedPop3Server server;
        Script(server, {kGreeting, kUserAccepted, kPassAccepted, {"STAT \r\n", "+OK " + count + " 0\r\n"},
                        kNoopAccepted, {"LIST \r\n", "+OK\r\n.\r\n"}});
        server.Expect("UIDL\r\n").ReplyInPieces(row.replyPieces, 5);
        if (row.serverCloses)
            server.CloseConnection();
        else
            server.Expect("QUIT \r\n").Reply("-ERR read as QUIT's own\r\n");
        CPop3Client client;
        ASSERT_EQ(client.Login(server.Address(), "alice", "s3cret"), 1);
        CUniqueIdSet ids;
        ids.Add("left from before");
        const bool taken = !row.ids.empty() || row.count == 0;
        EXPECT_EQ(client.UniqueIds(ids), taken ? 1 : 0);
        EXPECT_EQ(ids.Size(), row.ids.size());
        for (const std::string& id : row.ids)
            EXPECT_TRUE(ids.Contains(id)) << id;
        EXPECT_EQ(client.GetErrorText(), "");
        if (!row.serverCloses) {
            EXPECT_EQ(client.Quit(), 0);
        }
        EXPECT_EQ(server.Failures(), "");
    }
}

TEST(UniqueIdSet, HoldsEachIdOnceAndCountsThoseAnotherSetLacks)
{
    CUniqueIdSet old;
    CUniqueIdSet now;
    for (int i = 0; i < 50000; ++i)
        ASSERT_TRUE(old.Add("id-" + std::to_string(i)));
    EXPECT_FALSE(old.Add("id-49999"));
    EXPECT_EQ(old.Size(), 50000u);
    for (int i = 2; i < 50002; ++i)
        now.Add("id-" + std::to_string(i));
    // Ids differ in their bytes alone: a zero byte, the case of a letter, a prefix.
    EXPECT_TRUE(now.Add(std::string("id-1\0", 5)));
    EXPECT_TRUE(now.Add("ID-1"));
    EXPECT_TRUE(now.Add("id-"));
    EXPECT_EQ(now.CountNotIn(old), 5u);
    EXPECT_EQ(old.CountNotIn(now), 2u);
    EXPECT_TRUE(old.Contains("id-0"));
    EXPECT_FALSE(old.Contains("id-50000"));
    old.Clear();
    EXPECT_TRUE(old.Empty());
    EXPECT_FALSE(old.Contains("id-0"));
}

}  // namespace
