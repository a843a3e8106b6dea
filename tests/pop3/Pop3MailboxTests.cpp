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
                                               "TOP 1 0", "TOP 2 0", "TOP 3 0", "RETR 2", "QUIT "};
    EXPECT_EQ(server.Commands(), expected);
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
