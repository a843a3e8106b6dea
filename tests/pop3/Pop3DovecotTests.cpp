// The client against a real Dovecot POP3 server on 127.0.0.1 with generated Maildirs (see
// Pop3DovecotFixture.h): counts, listed sizes, summary lines (with TOP commands sent ahead),
// unique ids and whole message texts.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Pop3DovecotFixture.h"
#include "message/MessageText.h"
#include "pop3/Pop3Client.h"
#include "pop3/TcpStream.h"
#include "pop3/UniqueIdSet.h"

namespace {

// The size a POP3 server lists for a message file: its bytes with every LF counted as CR LF.
int ListedSizeOfFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return static_cast<int>(WithCrLf(text).size());
}

std::string FileOfMessage(const CDovecotServer& server, const std::string& user, int n)
{
    char name[64];
    std::snprintf(name, sizeof name, "/1765000000.M%07dP1.kelvor:2,S", n);
    return server.MessageFolder(user) + name;
}

TEST_F(Pop3Dovecot, SampleMailboxListsItsSummaryLines)
{
    const std::vector<std::string> expected = {
        "山田 <yamada@example.jp> : 日本語のメール",
        "tanaka@example.jp : テストメール",
        "Fran〓ois <francois@example.fr> : Caf〓 cr〓me",
        "author@example.org : forwarded",
        "folder@example.com : first part of a long subject continued on a second line",
        "dots@example.com : dots",
        "nosubject@example.com : (No Subject)",
        "<unknown> : no sender",
        "big@example.com : one megabyte",
    };
    CPop3Client client;
    ASSERT_EQ(client.Login(s_server->Address(), "kelvor", "pass word"), 1) << client.GetErrorText();
    ASSERT_EQ(client.GetMessageCount(), static_cast<int>(expected.size()));
    for (int n = 1; n <= client.GetMessageCount(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(client.GetListedSize(n), ListedSizeOfFile(FileOfMessage(*s_server, "kelvor", n)));
        std::string line;
        ASSERT_EQ(client.RetrieveSummary(n, line), 1) << client.GetErrorText();
        EXPECT_EQ(line, expected[static_cast<std::size_t>(n) - 1]);
    }
    EXPECT_EQ(client.Quit(), 1);
}

TEST_F(Pop3Dovecot, WholeMessagesComeBackDecodedAsTheyWereWritten)
{
    CPop3Client client;
    ASSERT_EQ(client.Login(s_server->Address(), "kelvor", "pass word"), 1) << client.GetErrorText();
    std::string text;
    ASSERT_EQ(client.RetrieveMessage(1, text), 1) << client.GetErrorText();
    EXPECT_EQ(text,
              "Return-Path: <yamada@example.jp>\r\n"
              "From: 山田 <yamada@example.jp>\r\n"
              "To: kelvor@example.com\r\n"
              "Subject: 日本語のメール\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
              "\r\n"
              "日本語のメール\r\n");
    ASSERT_EQ(client.RetrieveMessage(6, text), 1) << client.GetErrorText();
    EXPECT_EQ(text,
              "From: dots@example.com\r\nSubject: dots\r\n\r\n"
              ".a line beginning with a dot\r\n..two dots\r\n.\r\nlast line\r\n");
    ASSERT_EQ(client.RetrieveMessage(9, text), 1) << client.GetErrorText();
    const std::string big = SampleMessages()[8];
    EXPECT_GT(big.size(), 1000000u);
    EXPECT_TRUE(text == WithCrLf(big)) << "the 1 MB message differs";
    EXPECT_EQ(client.Quit(), 1);
}

// The viewer text of message n as RETR brings it, from a conversation of its own in which the
// commands go out at once and the server closes after QUIT.
std::string TextThroughRetr(int port, const std::string& user, const std::string& password, int n)
{
    CTcpStream stream;
    EXPECT_EQ(stream.Connect("127.0.0.1", port, 5000), 1);
    const std::string commands = "USER " + user + "\r\nPASS " + password + "\r\nRETR " +
                                 std::to_string(n) + "\r\nQUIT\r\n";
    EXPECT_EQ(stream.SendAll(commands.data(), commands.size(), 5000), 1);
    std::string received;
    char area[65536];
    for (int got; (got = stream.Receive(area, sizeof area, 5000)) > 0;)
        received.append(area, static_cast<std::size_t>(got));
    // The greeting and the replies to USER and PASS come first.
    std::size_t start = 0;
    for (int line = 0; line < 3; ++line)
        start = received.find('\n', start) + 1;
    std::size_t end = received.find("\r\n.\r\n", start);
    EXPECT_NE(end, std::string::npos);
    return ViewerText(UnstuffedMessage(received.substr(start, end + 5 - start)));
}

// What the double-click shows, read with TOP n and the listed size, is what RETR would show.
TEST_F(Pop3Dovecot, EveryMessageReadWithTopIsTheTextThatRetrGives)
{
    CPop3Client client;
    ASSERT_EQ(client.Login(s_server->Address(), "kelvor", "pass word"), 1) << client.GetErrorText();
    ASSERT_EQ(client.GetMessageCount(), static_cast<int>(SampleMessages().size()));
    for (int n = 1; n <= client.GetMessageCount(); ++n) {
        SCOPED_TRACE(n);
        std::string text;
        ASSERT_EQ(client.RetrieveMessage(n, text), 1) << client.GetErrorText();
        // Compared without printing: one message is a megabyte long.
        EXPECT_TRUE(text == TextThroughRetr(s_server->Port(), "kelvor", "pass word", n));
    }
    EXPECT_EQ(client.Quit(), 1);
}

TEST_F(Pop3Dovecot, FiveThousandMessagesListAndSummarizeInOrderWithTopCommandsSentAhead)
{
    CPop3Client client;
    ASSERT_EQ(client.Login(s_server->Address(), "many", "secret"), 1) << client.GetErrorText();
    ASSERT_EQ(client.GetMessageCount(), kManyMessages);
    for (int n = 1; n <= kManyMessages; ++n) {
        ASSERT_EQ(client.GetListedSize(n), ListedSizeOfFile(FileOfMessage(*s_server, "many", n)))
            << "message " << n;
    }
    ASSERT_EQ(client.Capa(), 1);
    client.PipelineSummaries(1, kManyMessages);
    ASSERT_TRUE(client.SendsCommandsAhead()) << "the server did not name PIPELINING";
    for (int n = 1; n <= kManyMessages; ++n) {
        std::string line;
        ASSERT_EQ(client.RetrieveSummary(n, line), 1) << client.GetErrorText();
        std::string number = std::to_string(n);
        ASSERT_EQ(line, "sender" + number + "@example.com : message " + number);
    }
    EXPECT_EQ(client.Quit(), 1);
}

TEST_F(Pop3Dovecot, EveryMessageHasItsOwnUniqueIdThatStaysTheSame)
{
    CUniqueIdSet first;
    CUniqueIdSet second;
    for (CUniqueIdSet* ids : {&first, &second}) {
        CPop3Client client;
        ASSERT_EQ(client.Login(s_server->Address(), "many", "secret"), 1) << client.GetErrorText();
        ASSERT_EQ(client.UniqueIds(*ids), 1);
        EXPECT_EQ(client.Quit(), 1);
    }
    EXPECT_EQ(first.Size(), static_cast<std::size_t>(kManyMessages));
    EXPECT_EQ(second.CountNotIn(first), 0u);
}

TEST_F(Pop3Dovecot, WrongPasswordIsRefusedWithTheServersReply)
{
    const std::string badPassword = "ログイン失敗 (Bad Password)\r\n-ERR ";
    CPop3Client client;
    EXPECT_EQ(client.Login(s_server->Address(), "kelvor", "wrong"), 0);
    EXPECT_EQ(client.GetErrorText().substr(0, badPassword.size()), badPassword);
    EXPECT_EQ(client.GetErrorText().substr(client.GetErrorText().size() - 2), "\r\n");
}

TEST_F(Pop3Dovecot, MessageNumberThatTheServerDoesNotKnowIsRefused)
{
    CPop3Client client;
    ASSERT_EQ(client.Login(s_server->Address(), "kelvor", "pass word"), 1);
    std::string line = "unchanged";
    EXPECT_EQ(client.RetrieveSummary(10, line), 0);
    EXPECT_EQ(client.GetErrorText(), "受信失敗 (Error occured during RETR command)");
    EXPECT_EQ(line, "unchanged");
    EXPECT_EQ(client.Quit(), 1);
}

}  // namespace
