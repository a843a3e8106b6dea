// The Windows client over Schannel against a real Dovecot beside Wine: POP3 over TLS and STLS
// give the mailbox as cleartext does, and certificates that do not prove the server are
// refused with our own reasons. The faulty certificates sit on 127.0.0.3 to 127.0.0.6 (see
// tools/dovecot/dovecot.sh); the good one is reached by the name localhost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TlsTestServer.h"
#include "pop3/Pop3Client.h"

namespace {

const std::string kCertificateNotTrusted =
    "サーバ証明書を確認できませんでした (Server certificate not trusted)\r\n";

struct MailboxView {
    int count = 0;
    std::vector<std::string> summaries;
    std::string lastMessage;
};

class SchannelDovecot : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(FindTlsTestServer(m_server, error)) << error;
    }

    std::string Tls(const std::string& host) const
    {
        return "pop3s://" + host + ":" + std::to_string(m_server.tlsPort);
    }

    std::string StartTls(const std::string& host) const
    {
        return "pop3+starttls://" + host + ":" + std::to_string(m_server.port);
    }

    MailboxView View(const std::string& serverText) const
    {
        MailboxView view;
        CPop3Client client;
        EXPECT_EQ(client.Login(serverText, m_server.user, m_server.password), 1) << client.GetErrorText();
        view.count = client.GetMessageCount();
        for (int n = 1; n <= view.count; ++n) {
            std::string line;
            EXPECT_EQ(client.RetrieveSummary(n, line), 1) << client.GetErrorText();
            view.summaries.push_back(line);
        }
        if (view.count > 0) {
            EXPECT_EQ(client.RetrieveMessage(view.count, view.lastMessage), 1) << client.GetErrorText();
        }
        EXPECT_EQ(client.Quit(), 1);
        return view;
    }

    TlsTestServer m_server;
};

TEST_F(SchannelDovecot, EncryptedConversationsSeeTheMailboxAsCleartextDoes)
{
    // Dovecot takes cleartext logins from its own address only.
    const MailboxView cleartext = View("127.0.0.1:" + std::to_string(m_server.port));
    ASSERT_GT(cleartext.count, 0);
    for (const std::string& server :
         {Tls("localhost"), StartTls("localhost"), "POP3S://localhost:" + std::to_string(m_server.tlsPort) + "/"}) {
        SCOPED_TRACE(server);
        const MailboxView view = View(server);
        EXPECT_EQ(view.count, cleartext.count);
        EXPECT_EQ(view.summaries, cleartext.summaries);
        EXPECT_TRUE(view.lastMessage == cleartext.lastMessage);
    }
}

TEST_F(SchannelDovecot, CertificatesThatDoNotProveTheServerAreRefused)
{
    struct Row {
        std::string server;
        const char* reason;
    };
    const Row rows[] = {
        // The server sends only its own certificate, from a CA nobody trusts.
        {Tls("127.0.0.5"), "partial chain"},
        {Tls("127.0.0.6"), "untrusted root"},
        {Tls("127.0.0.4"), "expired"},
        {Tls("127.0.0.3"), "name mismatch"},
        {StartTls("127.0.0.4"), "expired"},
        {StartTls("127.0.0.3"), "name mismatch"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server);
        CPop3Client client;
        EXPECT_EQ(client.Login(row.server, m_server.user, m_server.password), 0);
        EXPECT_EQ(client.GetErrorText(), kCertificateNotTrusted + row.reason);
    }
}

}  // namespace
