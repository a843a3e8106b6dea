// The header fields of a message or of one MIME part (RFC 5322 section 2.2), parsed once into
// name/value ranges of the raw text, and the body after them.
#ifndef KELVOR_MESSAGE_HEADERFIELDS_H
#define KELVOR_MESSAGE_HEADERFIELDS_H

#include <string>
#include <string_view>
#include <vector>

struct HeaderField {
    std::string_view name;   // as written, without the colon and any blanks before it
    std::string_view value;  // everything after the colon, continuation lines included
};

struct MessageEntity {
    std::vector<HeaderField> fields;
    std::string_view body;  // after the empty line that ends the header
};

// Splits a message or a MIME part into its header fields and its body. The header ends at an
// empty line, or at the first line that is neither a field nor the continuation of one (the
// body then starts with that line). A leading mailbox "From " line is skipped. Lines may end in
// CR LF or LF alone.
MessageEntity ParseEntity(std::string_view text);

// The first field whose name equals `name` without regard to letter case; nullptr if none.
const HeaderField* FindField(const MessageEntity& entity, std::string_view name);

// A field value with its folding removed (the line ends before a blank or a tab) and blanks
// trimmed at both ends.
std::string UnfoldedValue(std::string_view value);

// The unfolded value of the first field called `name`, or "" when there is none.
std::string FieldValue(const MessageEntity& entity, std::string_view name);

// The line that starts at `at`, without its CR LF or LF; `at` moves past the line end.
std::string_view NextLine(std::string_view text, std::size_t& at);

// Whether two ASCII texts are equal without regard to letter case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The ASCII text in small letters.
std::string LowerCase(std::string_view text);

#endif
