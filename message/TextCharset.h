// Text of a header word, a parameter or a body part into Shift_JIS, from the charset the mail
// names for it, or from what the bytes themselves show when it names none or a wrong one.
#ifndef KELVOR_MESSAGE_TEXTCHARSET_H
#define KELVOR_MESSAGE_TEXTCHARSET_H

#include <string>
#include <string_view>

// Converts `bytes` labelled `charset` ("" for none) into Shift_JIS. Without a label, under a
// label not known here, under US-ASCII with bytes outside ASCII, and under ISO-2022-JP without
// any escape sequence but with 8-bit bytes, the bytes decide: an ESC means ISO-2022-JP, valid
// UTF-8 means UTF-8, anything else is kept as it is (Shift_JIS).
std::string TextToSjis(std::string_view charset, std::string_view bytes);

#endif
