// The one Dovecot that the tests against a real server share, started once for the program on
// 127.0.0.1 with TLS beside cleartext: the sample mailbox ("kelvor") and 5,000 small messages
// ("many"). Its test CA is the one root that TLS clients trust, as the system's would be.
#ifndef KELVOR_TESTS_POP3_POP3DOVECOTFIXTURE_H
#define KELVOR_TESTS_POP3_POP3DOVECOTFIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "DovecotServer.h"
#include "TestMaildir.h"

const int kManyMessages = 5000;

class Pop3Dovecot : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = std::make_unique<CDovecotServer>();
        std::vector<TestMailbox> mailboxes = {
            {"kelvor", "pass word", SampleMessages()},
            {"many", "secret", SmallMessages(kManyMessages)},
        };
        if (!s_server->Start(KELVOR_DOVECOT_SCRIPT, mailboxes, s_startError, true)) {
            s_server.reset();
            return;
        }
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

    // The server texts of POP3 over TLS and of STLS on host.
    static std::string Tls(const std::string& host)
    {
        return "pop3s://" + host + ":" + std::to_string(s_server->TlsPort());
    }

    static std::string StartTls(const std::string& host)
    {
        return "pop3+starttls://" + host + ":" + std::to_string(s_server->Port());
    }

    static inline std::unique_ptr<CDovecotServer> s_server;
    static inline std::string s_startError;
};

#endif
