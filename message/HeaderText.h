// Header field values into Shift_JIS: MIME encoded words (RFC 2047) decoded and converted from
// their own charsets, raw 8-bit text converted where it is UTF-8.
#ifndef KELVOR_MESSAGE_HEADERTEXT_H
#define KELVOR_MESSAGE_HEADERTEXT_H

#include <string>
#include <string_view>

// Decodes an unfolded header value. An encoded word is "=?" charset ["*" language] "?" B or Q
// "?" text "?=", letters in any case, found wherever it stands, also glued to other text.
// White space between two adjacent words is dropped, and the bytes of adjacent words of one
// charset are joined before they are converted, so that a character split across two words
// comes out whole. Text outside the words is converted as TextToSjis does without a label.
std::string DecodeHeaderValue(std::string_view value);

// A raw field value as the viewer and the list show it: unfolded, decoded, on one line.
std::string DecodedFieldValue(std::string_view rawValue);

// The text made to fit on one line: CR and LF become blanks, zero bytes are left out.
std::string OnOneLine(std::string_view text);

// Decodes the text of a "Q" word (RFC 2047 section 4.2): "_" is a blank, "=" and two
// hexadecimal digits a byte, and an "=" without two digits stays as it is.
std::string DecodeQEncoding(std::string_view text);

#endif
