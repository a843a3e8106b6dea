// Checks shared by the TLS tests against Dovecot, natively and under Wine: an encrypted
// conversation sees the mailbox as a cleartext one does, and a certificate that does not prove
// the server ends the login with its reason.
#ifndef KELVOR_TESTS_SUPPORT_TLSMAILBOXCHECKS_H
#define KELVOR_TESTS_SUPPORT_TLSMAILBOXCHECKS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pop3/Pop3Client.h"

// What one conversation saw of the mailbox: the count, every summary line, and the texts of
// the messages asked for and of the last one.
struct MailboxView {
    int count = 0;
    std::vector<std::string> summaries;
    std::vector<std::string> messages;
};

inline MailboxView ViewMailbox(const std::string& server, const std::string& user,
                               const std::string& password, std::vector<int> messageNumbers = {})
{
    MailboxView view;
    CPop3Client client;
    EXPECT_EQ(client.Login(server, user, password), 1) << client.GetErrorText();
    view.count = client.GetMessageCount();
    for (int n = 1; n <= view.count; ++n) {
        std::string line;
        EXPECT_EQ(client.RetrieveSummary(n, line), 1) << client.GetErrorText();
        view.summaries.push_back(line);
    }
    if (view.count > 0 && (messageNumbers.empty() || messageNumbers.back() != view.count))
        messageNumbers.push_back(view.count);
    for (int n : messageNumbers) {
        std::string text;
        EXPECT_EQ(client.RetrieveMessage(n, text), 1) << client.GetErrorText();
        view.messages.push_back(text);
    }
    EXPECT_EQ(client.Quit(), 1);
    return view;
}

inline void ExpectSameMailbox(const MailboxView& view, const MailboxView& cleartext)
{
    EXPECT_EQ(view.count, cleartext.count);
    EXPECT_EQ(view.summaries, cleartext.summaries);
    ASSERT_EQ(view.messages.size(), cleartext.messages.size());
    // Compared without printing: one message is a megabyte long.
    for (std::size_t i = 0; i < view.messages.size(); ++i)
        EXPECT_TRUE(view.messages[i] == cleartext.messages[i]) << "message " << i;
}

struct RefusedServer {
    std::string server;
    std::string reason;
};

// Each login fails with errorText followed by the row's reason.
inline void ExpectLoginsRefused(const std::vector<RefusedServer>& rows, const std::string& user,
                                const std::string& password, const std::string& errorText)
{
    for (const RefusedServer& row : rows) {
        SCOPED_TRACE(row.server);
        CPop3Client client;
        EXPECT_EQ(client.Login(row.server, user, password), 0);
        EXPECT_EQ(client.GetErrorText(), errorText + row.reason);
    }
}

#endif
