// Test mailboxes for a real POP3 server: the messages of the sample mailbox and of a large
// mailbox of small messages, and writing them into a Maildir as a mail server stores them.
#ifndef KELVOR_TESTS_SUPPORT_TESTMAILDIR_H
#define KELVOR_TESTS_SUPPORT_TESTMAILDIR_H

#include <string>
#include <vector>

// The sample mailbox, with LF line ends as Maildir files hold them: Japanese ISO-2022-JP
// subjects in encoded words, an ISO-8859-1 Q subject, Resent-From before From, a folded
// Subject, lines beginning with ".", a message of about 1 MB, messages without From or Subject.
std::vector<std::string> SampleMessages();

// count small messages; message n has the sender "sender<n>@example.com" and the subject
// "message <n>".
std::vector<std::string> SmallMessages(int count);

// Writes the messages into maildir/cur so that a server numbers them in this order, creating
// maildir/cur, new and tmp. 1 on success, 0 with the reason in error.
int WriteMaildir(const std::string& maildir, const std::vector<std::string>& messages,
                 std::string& error);

// A message as a POP3 server lists and sends it: every LF becomes CR LF.
std::string WithCrLf(const std::string& message);

#endif
