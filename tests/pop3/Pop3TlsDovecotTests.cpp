// The client over TLS against a real Dovecot: POP3 over TLS and STLS give the same mailbox as
// cleartext, and certificates that do not prove the server are refused with their reason.
// The server listens on 127.0.0.2 as well, where it takes logins only inside TLS, on ::1 where
// the machine has it, and serves its faulty certificates on 127.0.0.3 to 127.0.0.8 (see
// tools/dovecot/dovecot.sh).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Pop3DovecotFixture.h"
#include "ScriptedPop3Server.h"
#include "TlsMailboxChecks.h"
#include "pop3/Pop3Client.h"
#include "pop3/Pop3Stream.h"

namespace {

const std::string kCertificateNotTrusted =
    "サーバ証明書を確認できませんでした (Server certificate not trusted)\r\n";

TEST_F(Pop3Dovecot, EncryptedConversationsSeeTheMailboxAsCleartextDoes)
{
    const MailboxView cleartext = ViewMailbox(s_server->Address(), "kelvor", "pass word", {1, 6, 9});
    ASSERT_EQ(cleartext.count, 9);
    std::vector<std::string> servers = {
        Tls("127.0.0.2"),
        StartTls("127.0.0.2"),
        // A name is checked against the certificate's names; the scheme in capitals, a slash.
        "POP3S://localhost:" + std::to_string(s_server->TlsPort()) + "/",
    };
    // Dovecot listens on ::1 too where the loopback interface has it.
    if (CScriptedPop3Server(0, Loopback::Ipv6).Port() != 0) {
        servers.insert(servers.end(), {"[::1]:" + std::to_string(s_server->Port()), Tls("[::1]"), StartTls("[::1]")});
    } else {
        std::printf("the logins over [::1] are skipped: this machine's loopback has no ::1\n");
    }
    for (const std::string& server : servers) {
        SCOPED_TRACE(server);
        ExpectSameMailbox(ViewMailbox(server, "kelvor", "pass word", {1, 6, 9}), cleartext);
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

TEST_F(Pop3Dovecot, CertificatesThatDoNotProveTheServerAreRefused)
{
    std::vector<RefusedServer> rows = {
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
    ExpectLoginsRefused(rows, "kelvor", "pass word", kCertificateNotTrusted);
}

// The host a handshake checks need not be the address it connected to: that shows which names
// and addresses each certificate proves, whatever the names resolve to on this machine.
TEST_F(Pop3Dovecot, CertificateProvesOnlyTheNamesAndAddressesOfItsSubjectAltName)
{
    // The address connected to, the host checked, and the reason of the refusal (none: accepted).
    const struct {
        const char* behaviour;
        std::string address, host, reason;
    } rows[] = {
        {"an IPv6 address the certificate names", "127.0.0.2", "::1", ""},
        {"the same address written in full", "127.0.0.2", "0:0:0:0:0:0:0:1", ""},
        {"an IPv6 address the certificate does not name", "127.0.0.3", "::1", "IP address mismatch"},
        {"an IPv6 address near the one named", "127.0.0.2", "::2", "IP address mismatch"},
        {"the subject's name without a subjectAltName", "127.0.0.7", "localhost", "hostname mismatch"},
        {"a wildcard for part of a label", "127.0.0.8", "foo.example.com", "hostname mismatch"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.behaviour);
        CPop3Stream stream;
        ASSERT_EQ(stream.Connect(row.address, s_server->TlsPort(), 5000), 1);
        TlsFailure failure = TlsFailure::None;
        std::string reason;
        EXPECT_EQ(stream.StartTls(row.host, 5000, failure, reason), row.reason.empty() ? 1 : 0) << reason;
        EXPECT_EQ(reason, row.reason);
        EXPECT_EQ(failure, row.reason.empty() ? TlsFailure::None : TlsFailure::Certificate);
    }
}

TEST_F(Pop3Dovecot, TheSystemsRootsAloneDoNotTrustTheTestCertificate)
{
    unsetenv("SSL_CERT_FILE");
    CPop3Client client;
    EXPECT_EQ(client.Login(Tls("127.0.0.2"), "kelvor", "pass word"), 0);
    setenv("SSL_CERT_FILE", s_server->CertificateAuthorityFile().c_str(), 1);
    EXPECT_EQ(client.GetErrorText(), kCertificateNotTrusted + "unable to get local issuer certificate");
}

}  // namespace
