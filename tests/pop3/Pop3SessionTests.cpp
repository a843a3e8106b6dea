// Transcript tests of the login dialogue: exact command bytes, reply tests and error texts.
#include <gtest/gtest.h>

#include "ScriptedPop3Server.h"
#include "pop3/Pop3Client.h"

namespace {

TEST(Pop3Session, MailboxLoginListsEveryMessage)
{
    CScriptedPop3Server server;
    server.SetMessages({"From: a\r\nSubject: one\r\n\r\nbody\r\n", "Subject: two\r\n\r\n.dot\r\n"});
    CPop3Client client;
    ASSERT_EQ(client.Login(server.Address(), "user", "secret"), 1) << client.GetErrorText();
    EXPECT_EQ(client.GetMessageCount(), 2);
    std::string line;
    EXPECT_EQ(client.RetrieveSummary(1, line), 1);
    EXPECT_EQ(line, "a : one");
    EXPECT_EQ(client.RetrieveSummary(2, line), 1);
    EXPECT_EQ(line, "<unknown> : two");
    std::string text;
    EXPECT_EQ(client.RetrieveMessage(2, text), 1);
    EXPECT_EQ(text, "Subject: two\r\n\r\n..dot\r\n.\r\n");
    EXPECT_EQ(client.Quit(), 1);
}

}  // namespace
