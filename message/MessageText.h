// Reading a message: the summary line of the mail list and the readable text of the viewer,
// both in Shift_JIS.
#ifndef KELVOR_MESSAGE_MESSAGETEXT_H
#define KELVOR_MESSAGE_MESSAGETEXT_H

#include <string>
#include <string_view>

// The message a POP3 multi-line response (TOP or RETR) carries: its status line dropped, its
// dot-stuffing undone and its end line "." left out (RFC 1939 section 3).
std::string UnstuffedMessage(std::string_view response);

// "sender : subject": the values of the first From and Subject fields (names in any letter
// case), unfolded and decoded; "<unknown>" and "(No Subject)" stand for a missing field.
std::string SummaryLine(std::string_view message);

// Every header field on one line, unfolded and decoded, an empty line, then the body made
// readable: transfer encodings undone, charsets converted, the text alternative preferred,
// HTML as text, one line per attachment, an attached message by its From, Subject and Date
// and its body. A message with neither MIME-Version nor Content-Type keeps the body text it
// has always shown (encoded words decoded, JIS converted). Line ends are CR LF.
std::string ViewerText(std::string_view message);

#endif
