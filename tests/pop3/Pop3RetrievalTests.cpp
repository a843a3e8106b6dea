// Transcript tests of TOP and RETR: the summary line of a header, the text of a whole
// message, how a response is gathered, and the error texts of both operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptedPop3Server.h"
#include "pop3/Pop3Client.h"

namespace {

const std::string kRetrieveError = "受信失敗 (Error occured during RETR command)";
const std::string kLoginCommands = "USER u\r\nPASS p\r\nSTAT \r\nNOOP\r\nLIST \r\n";

// Scripts a login to a mailbox of three messages of the given listed size.
void ScriptLogin(CScriptedPop3Server& server, int listedSize = 200)
{
    std::string size = std::to_string(listedSize);
    server.Reply("+OK ready\r\n")
        .Expect("USER u\r\n").Reply("+OK\r\n")
        .Expect("PASS p\r\n").Reply("+OK\r\n")
        .Expect("STAT \r\n").Reply("+OK 3 600\r\n")
        .Expect("NOOP\r\n").Reply("+OK\r\n")
        .Expect("LIST \r\n").Reply("+OK\r\n1 " + size + "\r\n2 " + size + "\r\n3 " + size + "\r\n.\r\n");
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
    for (const FailureRow& row : rows) {
        for (bool wholeMessage : {false, true}) {
            SCOPED_TRACE(std::string(row.behaviour) + (wholeMessage ? " (RETR)" : " (TOP)"));
            CScriptedPop3Server server;
            ScriptLogin(server);
            server.Expect(wholeMessage ? "RETR 1\r\n" : "TOP 1 0\r\n").ReplyInPieces(row.replyPieces);
            if (row.replyPieces.empty() || row.replyPieces[0][0] == '+')
                server.CloseConnection();
            CPop3Client client;
            ASSERT_EQ(client.Login(server.Address(), "u", "p"), 1);
            std::string output = "unchanged";
            int result = wholeMessage ? client.RetrieveMessage(1, output)
                                      : client.RetrieveSummary(1, output);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(output, "unchanged");
            EXPECT_EQ(client.GetErrorText(), wholeMessage ? row.messageError : row.summaryError);
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
        .Expect("RETR 2\r\n").Reply("+OK\r\nSubject: big\r\n\r\n" + body + ".\r\n");
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
    ScriptLogin(server);
    server.Expect("RETR 3\r\n")
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
        .Expect("RETR 2\r\n").Reply("+OK\r\n.\r\n")
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

}  // namespace
