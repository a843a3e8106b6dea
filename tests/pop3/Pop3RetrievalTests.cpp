// Transcript tests of TOP and RETR: the summary line of a header, the text of a whole
// message, how a response is gathered, the error texts of both operations, and TOP commands
// sent ahead of their replies to a server that names PIPELINING.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ScriptedPop3Server.h"
#include "pop3/Pop3Client.h"

namespace {

const std::string kRetrieveError = "受信失敗 (Error occured during RETR command)";
const std::string kLoginCommands = "USER u\r\nPASS p\r\nSTAT \r\nNOOP\r\nLIST \r\n";

// A command the client must send and the server's reply to it.
using Exchange = std::pair<std::string, std::string>;

// Scripts a login to a mailbox of count messages (three unless said) of the given listed size.
void ScriptLogin(CScriptedPop3Server& server, int listedSize = 200, int count = 3)
{
    std::string size = std::to_string(listedSize);
    std::string listing = "+OK\r\n";
    for (int n = 1; n <= count; ++n)
        listing += std::to_string(n) + " " + size + "\r\n";
    server.Reply("+OK ready\r\n")
        .Expect("USER u\r\n").Reply("+OK\r\n")
        .Expect("PASS p\r\n").Reply("+OK\r\n")
        .Expect("STAT \r\n").Reply("+OK " + std::to_string(count) + " 600\r\n")
        .Expect("NOOP\r\n").Reply("+OK\r\n")
        .Expect("LIST \r\n").Reply(listing + ".\r\n");
}

struct SummaryRow {
    const char* behaviour;
    std::string header;
    std::string line;
};

TEST(Pop3Summary, SummaryLineJoinsSenderAndSubject)
{
    const std::vector<SummaryRow> rows = {
        {"sender and subject", "From: alice@example.com\r\nSubject: Hello\r\n",
         "alice@example.com : Hello"},
        {"no From field", "Subject: Hello\r\n", "<unknown> : Hello"},
        {"no Subject field", "From: bob\r\n", "bob : (No Subject)"},
        {"neither field", "X-Mailer: test\r\n", "<unknown> : (No Subject)"},
        {"field names in any letter case", "FROM: bob\r\nsubject: hi\r\n", "bob : hi"},
        {"no blank after the colon", "From:bob\r\nSubject:hi\r\n", "bob : hi"},
        {"Resent-From is another field", "Resent-From: forwarder\r\nFrom: author\r\nSubject: fw\r\n",
         "author : fw"},
        {"empty subject", "From: bob\r\nSubject: \r\n", "bob : "},
        {"a folded subject is unfolded", "From: bob\r\nSubject: first\r\n second\r\n",
         "bob : first second"},
        {"blanks at the ends are trimmed, blanks inside stay", "From:  two  blanks \r\nSubject: a  b\r\n",
         "two  blanks : a  b"},
        {"the first field of each name counts", "From: one\r\nFrom: two\r\nSubject: x\r\nSubject: y\r\n",
         "one : x"},
        {"ISO-2022-JP encoded words become Shift_JIS",
         "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yamada@example.jp>\r\n"
         "Subject: =?iso-2022-jp?b?GyRCJUYlOSVIGyhC?=\r\n",
         "山田 <yamada@example.jp> : テスト"},
        {"ISO-8859-1 quoted-printable subject: a letter Shift_JIS lacks",
         "Subject: =?ISO-8859-1?Q?Caf=E9=20au=20lait?=\r\n", "<unknown> : Caf〓 au lait"},
        {"UTF-8 subject folded over two words", "Subject: =?utf-8?b?5pel5pys?=\r\n =?utf-8?b?6Kqe?=\r\n",
         "<unknown> : 日本語"},
        // 0x83 0x46 is one Shift_JIS character; the F inside it starts no field name.
        {"a match never starts on the second byte of a double-byte character",
         "X-Note: \x83" "From: hidden\r\nFrom: shown\r\n", "shown : (No Subject)"},
    };
    for (const SummaryRow& row : rows) {
        SCOPED_TRACE(row.behaviour);
        CScriptedPop3Server server;
        ScriptLogin(server);
        server.Expect("TOP 2 0\r\n").Reply("+OK\r\n" + row.header + "\r\n.\r\n");
        CPop3Client client;
        ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1) << client.GetErrorText();
        std::string line = "before";
        EXPECT_EQ(client.RetrieveSummary(2, line), 1) << client.GetErrorText();
        EXPECT_EQ(line, row.line);
    }
}

// Each value is converted by itself: a sender whose JIS text never returns to ASCII no longer
// turns the separator and the subject into two-byte pairs.
TEST(Pop3Summary, SenderLeftInTwoByteModeLeavesTheSubjectAlone)
{
    CScriptedPop3Server server;
    ScriptLogin(server);
    server.Expect("TOP 1 0\r\n")
        .Reply("+OK\r\nFrom: =?ISO-2022-JP?B?GyRCOzNFRA==?=\r\nSubject: ab\r\n\r\n.\r\n");
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
    std::string line;
    ASSERT_EQ(client.RetrieveSummary(1, line), 1);
    EXPECT_EQ(line, "山田 : ab");
}

TEST(Pop3Summary, ResponseInManyPiecesIsCompleteOnlyAtItsEndLine)
{
    CScriptedPop3Server server;
    ScriptLogin(server, 10);
    server.Expect("TOP 3 0\r\n")
        .ReplyInPieces({"+OK\r\nFrom: a", "lice\r\n", "Subject: split\r\n\r\n", "\r\n.", "\r", "\n"}, 15)
        .Expect("QUIT \r\n").Reply("+OK\r\n");
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
    std::string line;
    EXPECT_EQ(client.RetrieveSummary(3, line), 1);
    EXPECT_EQ(line, "alice : split");
    EXPECT_EQ(client.Quit(), 1);
    EXPECT_EQ(server.Failures(), "");
}

struct FailureRow {
    const char* behaviour;
    std::vector<std::string> replyPieces;  // then the server closes the connection
    std::string summaryError;
    std::string messageError;
};

// The header is asked for with TOP n 0; the whole message with TOP n and its listed size, and
// with RETR only after that TOP was refused. A failed RETR after a refused TOP shows the RETR's
// failure; a TOP that broke off is not followed by RETR.
TEST(Pop3Retrieval, FailuresLeaveTheOutputAndSetTheRetrError)
{
    const std::vector<FailureRow> rows = {
        {"refused: the server's reply follows", {"-ERR no such message\r\n"},
         kRetrieveError + "\r\n-ERR no such message\r\n", kRetrieveError + "\r\n-ERR no such message\r\n"},
        {"refused in small letters", {"-err gone\r\n"},
         kRetrieveError + "\r\n-err gone\r\n", kRetrieveError + "\r\n-err gone\r\n"},
        {"refusal split after its first bytes", {"-E", "RR later\r\n"},
         kRetrieveError + "\r\n-ERR later\r\n", kRetrieveError + "\r\n-ERR later\r\n"},
        {"closed before any reply: TOP says nothing more, RETR shows what came", {},
         kRetrieveError, kRetrieveError + "\r\n"},
        {"closed in the middle of the response", {"+OK\r\nFrom: a\r\n", "Subj"},
         kRetrieveError, kRetrieveError + "\r\n+OK\r\nFrom: a\r\nSubj"},
    };
    struct Way {
        const char* name;
        std::vector<Exchange> before;  // exchanges ahead of the one that fails
        std::string failing;
        bool wholeMessage;
    };
    const std::vector<Way> ways = {
        {"summary", {}, "TOP 1 0\r\n", false},
        {"message by TOP", {}, "TOP 1 200\r\n", true},
        {"message by RETR after TOP was refused", {{"TOP 1 200\r\n", "-ERR unknown command\r\n"}},
         "RETR 1\r\n", true},
    };
    for (const FailureRow& row : rows) {
        const bool refusal = !row.replyPieces.empty() && row.replyPieces[0][0] == '-';
        for (const Way& way : ways) {
            // A refused whole-message TOP is the way through RETR.
            if (refusal && way.wholeMessage && way.before.empty())
                continue;
            SCOPED_TRACE(std::string(row.behaviour) + " (" + way.name + ")");
            CScriptedPop3Server server;
            ScriptLogin(server);
            std::string commands = kLoginCommands;
            for (const Exchange& exchange : way.before) {
                server.Expect(exchange.first).Reply(exchange.second);
                commands += exchange.first;
            }
            server.Expect(way.failing).ReplyInPieces(row.replyPieces);
            commands += way.failing;
            if (!refusal)
                server.CloseConnection();
            {
                CPop3Client client;
                ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
                std::string output = "unchanged";
                int result = way.wholeMessage ? client.RetrieveMessage(1, output)
                                              : client.RetrieveSummary(1, output);
                EXPECT_EQ(result, 0);
                EXPECT_EQ(output, "unchanged");
                EXPECT_EQ(client.GetErrorText(), way.wholeMessage ? row.messageError : row.summaryError);
            }
            EXPECT_TRUE(server.WaitUntilScriptEnds());
            EXPECT_EQ(server.Received(), commands);
        }
    }
}

TEST(Pop3Retrieval, MessageNumbersOutsideTheMailboxSendNothing)
{
    for (int n : {0, -1, 4, 2147483647}) {
        SCOPED_TRACE(n);
        CScriptedPop3Server server;
        ScriptLogin(server);
        {
            CPop3Client client;
            ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
            std::string output = "unchanged";
            EXPECT_EQ(client.RetrieveSummary(n, output), 0);
            EXPECT_EQ(client.GetErrorText(), kRetrieveError);
            EXPECT_EQ(client.RetrieveMessage(n, output), 0);
            EXPECT_EQ(client.GetErrorText(), kRetrieveError);
            EXPECT_EQ(output, "unchanged");
        }
        EXPECT_TRUE(server.WaitUntilScriptEnds());
        EXPECT_EQ(server.Received(), kLoginCommands);
    }
}

TEST(Pop3Retrieval, NothingIsRetrievedBeforeALogin)
{
    CPop3Client client;
    std::string output = "unchanged";
    EXPECT_EQ(client.RetrieveSummary(1, output), 0);
    EXPECT_EQ(client.GetErrorText(), kRetrieveError);
    EXPECT_EQ(output, "unchanged");
}

// A listed size that understates the message does not cut the response or write past it.
TEST(Pop3Retrieval, ResponseLongerThanItsListedSizeIsReadWhole)
{
    std::string body;
    for (int i = 0; i < 2000; ++i)
        body += "line " + std::to_string(i) + " of a message that is much longer than listed\r\n";
    const std::string longSubject(5000, 's');
    CScriptedPop3Server server;
    ScriptLogin(server, 1);
    server.Expect("TOP 1 0\r\n").Reply("+OK\r\nFrom: a\r\nSubject: " + longSubject + "\r\n\r\n.\r\n")
        .Expect("TOP 2 1\r\n").Reply("+OK\r\nSubject: big\r\n\r\n" + body + ".\r\n");
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
    std::string line;
    ASSERT_EQ(client.RetrieveSummary(1, line), 1);
    EXPECT_EQ(line, "a : " + longSubject);
    std::string text;
    ASSERT_EQ(client.RetrieveMessage(2, text), 1);
    EXPECT_EQ(text, "Subject: big\r\n\r\n" + body);
}

TEST(Pop3Message, MessageTextIsDecodedWithoutItsStatusLineAndEndLine)
{
    // "日本語のメール" in 7-bit JIS, as a body would carry it.
    const std::string jisBody = "\x1b$BF|K\\8l$N%a!<%k\x1b(B";
    CScriptedPop3Server server;
    // A listing without sizes: TOP asks for as many lines as the largest message may hold.
    ScriptLogin(server, 0);
    server.Expect("TOP 3 268435456\r\n")
        .ReplyInPieces({"+OK 180 octets\r\nFrom: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?=\r\n",
                        "Subject: hi\r\n\r\n" + jisBody + "\r\n..dotted line\r\n",
                        "=?us-ascii?q?in=20body?= and =?utf-8?b?eA==?=\r\n", ".\r\n"});
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
    std::string text;
    ASSERT_EQ(client.RetrieveMessage(3, text), 1);
    EXPECT_EQ(text,
              "From: 山田\r\nSubject: hi\r\n\r\n日本語のメール\r\n.dotted line\r\n"
              "in body and =?utf-8?b?eA==?=\r\n");
}

TEST(Pop3Message, ConversationGoesOnAfterEachRetrieval)
{
    CScriptedPop3Server server;
    ScriptLogin(server);
    server.Expect("TOP 1 0\r\n").Reply("-ERR busy\r\n")
        .Expect("TOP 2 200\r\n").Reply("+OK\r\n.\r\n")
        .Expect("TOP 3 0\r\n").Reply("+OK\r\nSubject: third\r\n\r\n.\r\n")
        .Expect("QUIT \r\n").Reply("+OK\r\n");
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
    std::string output;
    EXPECT_EQ(client.RetrieveSummary(1, output), 0);
    EXPECT_EQ(client.RetrieveMessage(2, output), 1);
    EXPECT_EQ(output, "");
    EXPECT_EQ(client.RetrieveSummary(3, output), 1);
    EXPECT_EQ(output, "<unknown> : third");
    EXPECT_EQ(client.Quit(), 1);
    EXPECT_EQ(server.Failures(), "");
}

// The reply to TOP n 0 of message n, and the summary line made of it.
std::string HeaderReply(int n)
{
    return "+OK\r\nFrom: sender" + std::to_string(n) + "\r\nSubject: s" + std::to_string(n) + "\r\n\r\n.\r\n";
}

std::string SummaryOf(int n)
{
    return "sender" + std::to_string(n) + " : s" + std::to_string(n);
}

std::string TopCommands(int first, int last)
{
    std::string commands;
    for (int n = first; n <= last; ++n)
        commands += "TOP " + std::to_string(n) + " 0\r\n";
    return commands;
}

const std::string kPipelining = "+OK\r\nTOP\r\nUIDL\r\npipelining\r\n.\r\n";

// With PIPELINING the four TOP commands go out at once, before the first reply, and their
// replies, cut at awkward places (in a status line, inside an end line, across the border of
// two replies), are read in order. A refused CAPA, or capabilities without PIPELINING, leave
// the dialogue as it always was: each TOP waits for the reply before it.
TEST(Pop3Pipelining, TopCommandsGoOutAheadOnlyToAServerThatNamesPipelining)
{
    const std::string replies = HeaderReply(1) + HeaderReply(2) + HeaderReply(3) + HeaderReply(4);
    struct Row {
        const char* behaviour;
        std::string capabilities;
        std::vector<std::string> pieces;  // the replies to the commands sent ahead; none: no commands ahead
    };
    std::vector<Row> rows = {
        {"all replies at once", kPipelining, {replies}},
        {"cut in the status line, the end line and between replies", kPipelining,
         {"+O", "K\r\nFrom: sender1\r\nSubject: s1\r\n\r\n.\r", "\n+OK\r\nFrom: sender2\r\n",
          "Subject: s2\r\n\r\n.\r\n+OK\r\nFrom: sender3\r\nSubject: s3\r\n\r\n", ".\r\n+",
          replies.substr(replies.size() - HeaderReply(4).size() + 1)}},
        {"CAPA refused", "-ERR unknown command\r\n", {}},
        {"no PIPELINING among the capabilities", "+OK\r\nTOP\r\nUIDL\r\nX-PIPELINING\r\n.\r\n", {}},
    };
    for (std::size_t size : {1u, 3u, 7u}) {
        Row row{"in pieces of equal size", kPipelining, {}};
        for (std::size_t at = 0; at < replies.size(); at += size)
            row.pieces.push_back(replies.substr(at, size));
        rows.push_back(row);
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.behaviour) + ", " + std::to_string(row.pieces.size()) + " pieces");
        const bool ahead = !row.pieces.empty();
        CScriptedPop3Server server;
        ScriptLogin(server, 200, 4);
        server.Expect("CAPA\r\n").Reply(row.capabilities);
        if (ahead) {
            server.Expect(TopCommands(1, 4)).ReplyInPieces(row.pieces, 1);
        } else {
            for (int n = 1; n <= 4; ++n)
                server.Expect(TopCommands(n, n)).Reply(HeaderReply(n));
        }
        server.Expect("QUIT \r\n").Reply("+OK\r\n");
        {
            CPop3Client client;
            ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
            EXPECT_EQ(client.Capa(), row.capabilities[0] == '+' ? 1 : 0);
            client.PipelineSummaries(1, 4);
            EXPECT_EQ(client.SendsCommandsAhead(), ahead);
            for (int n = 1; n <= 4; ++n) {
                std::string line;
                EXPECT_EQ(client.RetrieveSummary(n, line), 1) << client.GetErrorText();
                EXPECT_EQ(line, SummaryOf(n));
            }
            EXPECT_EQ(client.Quit(), 1);
        }
        EXPECT_TRUE(server.WaitUntilScriptEnds());
        EXPECT_EQ(server.Failures(), "");
    }
}

// Where the reply to one command sent ahead fails, the listing stops there. The replies still
// owed are read before QUIT, so that QUIT's refusal is read as QUIT's own; a connection that
// closed takes no QUIT.
TEST(Pop3Pipelining, FailedReplyAmongCommandsAheadIsTheLastOneAndTheRestIsRead)
{
    struct Row {
        const char* behaviour;
        std::string replies;
        bool serverCloses;
        std::string errorText;
    };
    const Row rows[] = {
        {"refused in the middle", HeaderReply(1) + "-ERR message 2 is gone\r\n" + HeaderReply(3) + HeaderReply(4),
         false, kRetrieveError + "\r\n-ERR message 2 is gone\r\n"},
        {"the server closes half way", HeaderReply(1) + "+OK\r\nFrom: sen", true, kRetrieveError},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        CScriptedPop3Server server;
        ScriptLogin(server, 200, 4);
        server.Expect("CAPA\r\n").Reply(kPipelining).Expect(TopCommands(1, 4)).Reply(row.replies);
        if (row.serverCloses)
            server.CloseConnection();
        else
            server.Expect("QUIT \r\n").Reply("-ERR not now\r\n");
        CPop3Client client;
        ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
        ASSERT_EQ(client.Capa(), 1);
        client.PipelineSummaries(1, 4);
        std::string line;
        EXPECT_EQ(client.RetrieveSummary(1, line), 1);
        EXPECT_EQ(client.RetrieveSummary(2, line), 0);
        EXPECT_EQ(client.GetErrorText(), row.errorText);
        EXPECT_EQ(line, SummaryOf(1));
        if (row.serverCloses) {
            EXPECT_EQ(client.Quit(), 1);
            EXPECT_TRUE(server.WaitUntilScriptEnds());
            EXPECT_EQ(server.Received(), kLoginCommands + "CAPA\r\n" + TopCommands(1, 4));
        } else {
            EXPECT_EQ(client.Quit(), 0);
            EXPECT_EQ(client.GetErrorText(), "エラーです (Error occured during QUIT command)\r\n-ERR not now\r\n");
        }
        EXPECT_EQ(server.Failures(), "");
    }
}

// At most 512 commands, and at most 8 KiB of them, are on their way at once; once half of the
// window has drained, the replies read let as many more go.
TEST(Pop3Pipelining, CommandsAheadStayWithinTheirWindow)
{
    struct Row {
        const char* behaviour;
        int first;
        int inWindow;
        int drained;  // the replies read before more commands go
    };
    const Row rows[] = {
        {"short commands: 512 of them", 1, 512, 256},
        {"long commands: 8 KiB of them", 1999999000, 8192 / 18, 8192 / 18 - 4096 / 18},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        std::string replies;
        for (int n = row.first; n < row.first + row.drained; ++n)
            replies += HeaderReply(n);
        CScriptedPop3Server server;
        server.Reply("+OK\r\n")
            .Expect("USER u\r\n").Reply("+OK\r\n")
            .Expect("PASS p\r\n").Reply("+OK\r\n")
            .Expect("STAT \r\n").Reply("+OK 2000000000 0\r\n")
            .Expect("NOOP\r\n").Reply("+OK\r\n")
            .Expect("LIST \r\n").Reply("+OK\r\n.\r\n")
            .Expect("CAPA\r\n").Reply(kPipelining)
            .Expect(TopCommands(row.first, row.first + row.inWindow - 1))
            .Reply(replies)
            .Expect(TopCommands(row.first + row.inWindow, row.first + row.inWindow + row.drained - 1));
        {
            CPop3Client client;
            ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
            ASSERT_EQ(client.Capa(), 1);
            client.PipelineSummaries(row.first, row.first + 1000);
            for (int n = row.first; n < row.first + row.drained; ++n) {
                std::string line;
                ASSERT_EQ(client.RetrieveSummary(n, line), 1);
                EXPECT_EQ(line, SummaryOf(n));
            }
        }
        EXPECT_TRUE(server.WaitUntilScriptEnds());
        EXPECT_EQ(server.Failures(), "");
    }
}

}  // namespace
