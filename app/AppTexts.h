// The texts that the main window and the start-up show, in Shift_JIS: the program's own
// string table for app/. Defined in AppTexts.cpp, which is compiled with the Shift_JIS
// execution character set.
#ifndef KELVOR_APP_APPTEXTS_H
#define KELVOR_APP_APPTEXTS_H

#include <string>

// Refusals while a POP3 conversation of the window is under way. The list button's text
// ends in a full stop, the other two do not.
extern const char kTextBusy[];
extern const char kTextBusyList[];

// Reports of the mail check and the list display.
extern const char kTextNewMail[];
extern const char kTextNoMailInMailbox[];
extern const char kTextNoMail[];

// Exit confirmation and its caption.
extern const char kTextConfirmExit[];
extern const char kTextExitCaption[];

// Start-up refusal of a second instance.
extern const char kTextAlreadyRunning[];

// The string resources of the program, by id: the system-menu entry of the version box,
// the socket-library failure and the two interval validation messages.
extern const char kTextAboutMenuEntry[];
extern const char kTextSocketsInitFailed[];
extern const char kTextParseInt[];
extern const char kTextParseIntRange[];

// "メールボックスの中に %d 通のメールがあります" with the number of new (or gone) messages.
// The difference is 64-bit because the two counts it comes from may lie far apart.
std::string FormatMailCountReport(int messageCount, long long newCount);

#endif
