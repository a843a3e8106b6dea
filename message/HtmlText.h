// HTML mail as plain text for a viewer that shows text only.
#ifndef KELVOR_MESSAGE_HTMLTEXT_H
#define KELVOR_MESSAGE_HTMLTEXT_H

#include <string>
#include <string_view>

// Turns HTML already in Shift_JIS into text lines ending in LF: head, style, script and
// comments are dropped; <br>, </p>, </div>, </li>, </tr> and </h1> to </h6> end a line, and
// the start tags of those blocks end the line before them; other tags are removed; white space
// runs become one blank, as a browser shows them; named and numeric character references are
// decoded (a non-breaking space as a blank); blanks at the ends of lines are trimmed and runs
// of empty lines cut to one.
std::string HtmlToText(std::string_view html);

// The charset a <meta> element of the HTML names ("" when none), for a part whose
// Content-Type names none.
std::string HtmlMetaCharset(std::string_view html);

#endif
