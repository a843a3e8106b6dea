// The MIME walk (RFC 2045, 2046): the readable text of a message body, part by part.
#ifndef KELVOR_MESSAGE_MIMEBODY_H
#define KELVOR_MESSAGE_MIMEBODY_H

#include <string>

#include "message/HeaderFields.h"

// Appends the readable body of a message (its header already parsed) to `text`, lines ending
// in CR LF. A message with neither MIME-Version nor Content-Type keeps its old reading:
// encoded words decoded and JIS converted over the whole body.
void AppendReadableBody(const MessageEntity& message, std::string& text);

// Appends `lines` (ending in LF or CR LF) to `text` with CR LF line ends, zero bytes left out;
// the last line gets its line end too.
void AppendCrLfLines(std::string_view lines, std::string& text);

#endif
