// The client over TLS against a real Dovecot: POP3 over TLS and STLS give the same mailbox as
// cleartext, and certificates that do not prove the server are refused with their reason.
// The server listens on 127.0.0.2 as well, where it takes logins only inside TLS, and serves
// its faulty certificates on 127.0.0.3 to 127.0.0.6 (see tools/dovecot/dovecot.sh).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "DovecotServer.h"
#include "TestMaildir.h"
#include "pop3/Pop3Client.h"

namespace {

const std::string kCertificateNotTrusted =
    "サーバ証明書を確認できませんでした (Server certificate not trusted)\r\n";

// What one conversation saw of the mailbox: the count, every summary line, three messages.
struct MailboxView {
    int count = 0;
    std::vector<std::string> summaries;
    std::vector<std::string> messages;
};

class Pop3TlsDovecot : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<CDovecotServer>();
        if (!s_server->Start(KELVOR_DOVECOT_SCRIPT, {{"kelvor", "pass word", SampleMessages()}},
                             s_startError, true)) {
            s_server.reset();
            return;
        }
        // The test CA is the one root the client trusts, as the system's would be.
        setenv("SSL_CERT_FILE", s_server->CertificateAuthorityFile().c_str(), 1);
    }

    static void TearDownTestSuite()
    {
        unsetenv("SSL_CERT_FILE");
        s_server.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(s_server) << "Dovecot could not be started: " << s_startError;
    }

    static std::string Tls(const char* host)
    {
        return "pop3s://" + std::string(host) + ":" + std::to_string(s_server->TlsPort());
    }

    static std::string StartTls(const char* host)
    {
        return "pop3+starttls://" + std::string(host) + ":" + std::to_string(s_server->Port());
    }

    static MailboxView View(const std::string& serverText)
    {
        MailboxView view;
        CPop3Client client;
        EXPECT_EQ(client.Login(serverText, "kelvor", "pass word"), 1) << client.GetErrorText();
        view.count = client.GetMessageCount();
        for (int n = 1; n <= view.count; ++n) {
            std::string line;
            EXPECT_EQ(client.RetrieveSummary(n, line), 1) << client.GetErrorText();
            view.summaries.push_back(line);
        }
        for (int n : {1, 6, 9}) {
            std::string text;
            EXPECT_EQ(client.RetrieveMessage(n, text), 1) << client.GetErrorText();
            view.messages.push_back(text);
        }
        EXPECT_EQ(client.Quit(), 1);
        return view;
    }

    static std::unique_ptr<CDovecotServer> s_server;
    static std::string s_startError;
};

std::unique_ptr<CDovecotServer> Pop3TlsDovecot::s_server;
std::string Pop3TlsDovecot::s_startError;

TEST_F(Pop3TlsDovecot, EncryptedConversationsSeeTheMailboxAsCleartextDoes)
{
    const MailboxView cleartext = View(s_server->Address());
    ASSERT_EQ(cleartext.count, 9);
    const std::vector<std::string> servers = {
        Tls("127.0.0.2"),
        StartTls("127.0.0.2"),
        // A name is checked against the certificate's names; the scheme in capitals, a slash.
        "POP3S://localhost:" + std::to_string(s_server->TlsPort()) + "/",
    };
    for (const std::string& server : servers) {
        SCOPED_TRACE(server);
        const MailboxView view = View(server);
        EXPECT_EQ(view.count, cleartext.count);
        EXPECT_EQ(view.summaries, cleartext.summaries);
        ASSERT_EQ(view.messages.size(), cleartext.messages.size());
        for (std::size_t i = 0; i < view.messages.size(); ++i)
            EXPECT_TRUE(view.messages[i] == cleartext.messages[i]) << "message " << i;
    }
}

// This machine's own name, when it leads to 127.0.0.1, where the server's certificate holds
// other names only; empty otherwise.
std::string OwnNameOnLoopback()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || std::string(name) == "localhost")
        return std::string();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr)
        return std::string();
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, address, sizeof address);
    freeaddrinfo(found);
    return std::string(address) == "127.0.0.1" ? std::string(name) : std::string();
}

TEST_F(Pop3TlsDovecot, CertificatesThatDoNotProveTheServerAreRefused)
{
    struct Row {
        std::string server;
        std::string reason;
    };
    std::vector<Row> rows = {
        {Tls("127.0.0.5"), "unable to get local issuer certificate"},
        {Tls("127.0.0.6"), "self-signed certificate"},
        {Tls("127.0.0.4"), "certificate has expired"},
        {Tls("127.0.0.3"), "IP address mismatch"},
        {StartTls("127.0.0.4"), "certificate has expired"},
        {StartTls("127.0.0.3"), "IP address mismatch"},
    };
    const std::string ownName = OwnNameOnLoopback();
    if (!ownName.empty())
        rows.push_back({"pop3s://" + ownName + ":" + std::to_string(s_server->TlsPort()), "hostname mismatch"});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server);
        CPop3Client client;
        EXPECT_EQ(client.Login(row.server, "kelvor", "pass word"), 0);
        EXPECT_EQ(client.GetErrorText(), kCertificateNotTrusted + row.reason);
    }
}

TEST_F(Pop3TlsDovecot, TheSystemsRootsAloneDoNotTrustTheTestCertificate)
{
    unsetenv("SSL_CERT_FILE");
    CPop3Client client;
    EXPECT_EQ(client.Login(Tls("127.0.0.2"), "kelvor", "pass word"), 0);
    setenv("SSL_CERT_FILE", s_server->CertificateAuthorityFile().c_str(), 1);
    EXPECT_EQ(client.GetErrorText(), kCertificateNotTrusted + "unable to get local issuer certificate");
}

}  // namespace
