// The Windows client over Schannel against a real Dovecot beside Wine: POP3 over TLS and STLS
// give the mailbox as cleartext does, and certificates that do not prove the server are
// refused with our own reasons. The faulty certificates sit on 127.0.0.3 to 127.0.0.8 (see
// tools/dovecot/dovecot.sh); the good one is reached by the name localhost, at 127.0.0.2 and
// at ::1 where the machine has it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ScriptedPop3Server.h"
#include "TlsMailboxChecks.h"
#include "TlsTestServer.h"

namespace {

const std::string kCertificateNotTrusted =
    "サーバ証明書を確認できませんでした (Server certificate not trusted)\r\n";

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

    TlsTestServer m_server;
};

TEST_F(SchannelDovecot, EncryptedConversationsSeeTheMailboxAsCleartextDoes)
{
    // Dovecot takes cleartext logins from its own address only.
    const MailboxView cleartext = ViewMailbox("127.0.0.1:" + std::to_string(m_server.port), m_server.user,
                                              m_server.password);
    ASSERT_GT(cleartext.count, 0);
    std::vector<std::string> servers = {Tls("localhost"), StartTls("localhost"),
                                        "POP3S://localhost:" + std::to_string(m_server.tlsPort) + "/",
                                        // Addresses are checked against the certificate's by our own check.
                                        Tls("127.0.0.2"), StartTls("127.0.0.2")};
    if (CScriptedPop3Server(0, Loopback::Ipv6).Port() != 0)
        servers.insert(servers.end(), {"[::1]:" + std::to_string(m_server.port), Tls("[::1]"), StartTls("[::1]")});
    else
        std::printf("the logins over [::1] are skipped: this machine's loopback has no ::1\n");
    for (const std::string& server : servers) {
        SCOPED_TRACE(server);
        ExpectSameMailbox(ViewMailbox(server, m_server.user, m_server.password), cleartext);
    }
}

TEST_F(SchannelDovecot, CertificatesThatDoNotProveTheServerAreRefused)
{
    const std::vector<RefusedServer> rows = {
        // The server sends only its own certificate, from a CA nobody trusts.
        {Tls("127.0.0.5"), "partial chain"},
        {Tls("127.0.0.6"), "untrusted root"},
        {Tls("127.0.0.4"), "expired"},
        {Tls("127.0.0.3"), "name mismatch"},
        {StartTls("127.0.0.4"), "expired"},
        {StartTls("127.0.0.3"), "name mismatch"},
        // An address, and a certificate that names none.
        {Tls("127.0.0.7"), "name mismatch"},
    };
    ExpectLoginsRefused(rows, m_server.user, m_server.password, kCertificateNotTrusted);
}

}  // namespace
