// The texts that the application tests expect, spelled out again on the test side (in
// ExpectedTexts.cpp, compiled as Shift_JIS) so that a wrong byte in the program's own
// texts shows as a failure.
#ifndef KELVOR_TESTS_APP_EXPECTEDTEXTS_H
#define KELVOR_TESTS_APP_EXPECTEDTEXTS_H

#include <string>

namespace expected {

extern const std::string kBusy;
extern const std::string kBusyList;
extern const std::string kNewMail;
extern const std::string kMailboxEmpty;
extern const std::string kConfirmExit;
extern const std::string kAlreadyRunning;
extern const std::string kSocketsInitFailed;
extern const std::string kAboutMenuEntry;
extern const std::string kParseInt;
extern const std::string kParseIntRange1To60;

// "メールボックスの中に <count> 通のメールがあります\r\n\r\n（うち新規メール <newCount> 通）"
std::string MailCountReport(int count, int newCount);

}  // namespace expected

#endif
