// The client against the scripted server's mailbox, as the application's own tests use it,
// and a server that vanishes while the client is still sending.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptedPop3Server.h"
#include "pop3/Pop3Client.h"

namespace {

TEST(Pop3Mailbox, WholeConversationWithAMailbox)
{
    CScriptedPop3Server server;
    server.SetMessages({"From: a\r\nSubject: one\r\n\r\nbody\r\n", "Subject: two\r\n\r\n.dot\r\n", ""});
    server.RefuseTop(3);
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "user", "secret"), 1) << client.GetErrorText();
    EXPECT_EQ(client.GetMessageCount(), 3);
    EXPECT_EQ(client.GetListedSize(1), 31);
    EXPECT_EQ(client.GetListedSize(3), 0);
    std::string line;
    EXPECT_EQ(client.RetrieveSummary(1, line), 1);
    EXPECT_EQ(line, "a : one");
    EXPECT_EQ(client.RetrieveSummary(2, line), 1);
    EXPECT_EQ(line, "<unknown> : two");
    EXPECT_EQ(client.RetrieveSummary(3, line), 0);
    std::string text;
    EXPECT_EQ(client.RetrieveMessage(2, text), 1);
    // The server dot-stuffs the body line; the viewer text shows it as it was written.
    EXPECT_EQ(text, "Subject: two\r\n\r\n.dot\r\n");
    EXPECT_EQ(client.Quit(), 1);
    const std::vector<std::string> expected = {"USER user", "PASS secret", "STAT ", "NOOP", "LIST ",
                                               "TOP 1 0", "TOP 2 0", "TOP 3 0", "TOP 2 22", "QUIT "};
    EXPECT_EQ(server.Commands(), expected);
}

// The viewer's text is the same, byte for byte, whether the message came through TOP for all
// its lines or, from a server that refuses TOP, through RETR.
TEST(Pop3Mailbox, MessageReadWithTopShowsTheSameTextAsWithRetr)
{
    std::string big = "Subject: one megabyte\r\n\r\n";
    while (big.size() < (1 << 20))
        big += big.size() % 7 == 0 ? ".a dotted line\r\n" : "a line of the body\r\n";
    const std::vector<std::string> messages = {
        "Subject: dots\r\n\r\n.a line beginning with a dot\r\n..two dots\r\n.\r\nlast\r\n",
        big,
        "Subject: no line end\r\n\r\nfirst\r\nlast line without its end",
        "Subject: a header and nothing else\r\n",
        "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?=\r\n\r\n\x1b$BF|K\\8l\x1b(B\r\n\r\n\r\n",
    };
    CScriptedPop3Server withTop;
    CScriptedPop3Server withoutTop;
    withTop.SetMessages(messages);
    withoutTop.SetMessages(messages);
    for (int n = 1; n <= static_cast<int>(messages.size()); ++n)
        withoutTop.RefuseTop(n);
    std::vector<std::string> topCommands = {"USER user", "PASS secret", "STAT ", "NOOP", "LIST "};
    std::vector<std::string> retrCommands = topCommands;
    CPop3Client top;
    CPop3Client retr;
    ASSERT_EQ(top.Login(withTop.Address(), "user", "secret"), 1) << top.GetErrorText();
    ASSERT_EQ(retr.Login(withoutTop.Address(), "user", "secret"), 1) << retr.GetErrorText();
    for (int n = 1; n <= static_cast<int>(messages.size()); ++n) {
        SCOPED_TRACE(n);
        std::string throughTop;
        std::string throughRetr;
        EXPECT_EQ(top.RetrieveMessage(n, throughTop), 1) << top.GetErrorText();
        EXPECT_EQ(retr.RetrieveMessage(n, throughRetr), 1) << retr.GetErrorText();
        // Compared without printing: one message is a megabyte long.
        EXPECT_TRUE(throughTop == throughRetr);
        EXPECT_TRUE(n != 3 || throughTop == "Subject: no line end\r\n\r\nfirst\r\nlast line without its end\r\n");
        const std::string command = "TOP " + std::to_string(n) + " " + std::to_string(messages[n - 1].size());
        topCommands.push_back(command);
        retrCommands.insert(retrCommands.end(), {command, "RETR " + std::to_string(n)});
    }
    EXPECT_EQ(top.Quit() + retr.Quit(), 2);
    topCommands.push_back("QUIT ");
    retrCommands.push_back("QUIT ");
    EXPECT_EQ(withTop.Commands(), topCommands);
    EXPECT_EQ(withoutTop.Commands(), retrCommands);
}

TEST(Pop3Mailbox, RefusedLoginAndChangedMailboxBetweenConnections)
{
    CScriptedPop3Server server;
    server.SetMessages({"Subject: a\r\n\r\n"});
    server.RefuseLogin(true);
    {
        CPop3Client client;
        EXPECT_EQ(client.Login(server.Address(), "user", "secret"), 0);
    }
    server.RefuseLogin(false);
    server.SetMessages({"Subject: a\r\n\r\n", "Subject: b\r\n\r\n"});
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "user", "secret"), 1) << client.GetErrorText();
    EXPECT_EQ(client.GetMessageCount(), 2);
    EXPECT_EQ(server.ConnectionCount(), 2);
}

// Sending to a server that has already closed the connection must not end the program;
// the failure shows itself in the reply that never comes.
TEST(Pop3Mailbox, ServerGoneWhileSendingDoesNotEndTheProgram)
{
    CScriptedPop3Server server;
    server.Reply("+OK\r\n").CloseConnection();
    CPop3Client client;
    const std::string hugeUser(8 << 20, 'u');
    EXPECT_EQ(client.Login(server.Address(), hugeUser, "p"), 0);
    EXPECT_NE(client.GetErrorText().find("(Error occured during STAT command)"), std::string::npos);
}

}  // namespace
