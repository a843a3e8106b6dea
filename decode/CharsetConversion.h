// Converting text of a named charset into Shift_JIS (code page 932), the form in which the
// whole program holds its text.
#ifndef KELVOR_DECODE_CHARSETCONVERSION_H
#define KELVOR_DECODE_CHARSETCONVERSION_H

#include <string>
#include <string_view>

// Converts bytes labelled with `charset` (a MIME charset name or one of its usual aliases, in
// any letter case, with "-" and "_" anywhere or nowhere) into Shift_JIS. A character that
// Shift_JIS cannot hold, and a byte sequence that is not valid in the charset, becomes "〓";
// the JIS and the Windows forms of the wave dash and its six siblings both give the one
// Shift_JIS code. 1 with the result in `sjis`; 0 when the charset is not known here, with
// `sjis` left as it was, so that the caller can keep the bytes. Zero bytes are converted like
// any other character.
int ConvertCharsetToSjis(std::string_view charset, std::string_view bytes, std::string& sjis);

// The form in which charset labels are compared, as iconv and ICU match names: letters in small
// case, every "-" and "_" left out, so that "EUC_JP", "euc-jp" and "eucjp" name one charset.
std::string CharsetLabelKey(std::string_view label);

// Whether the bytes are well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates,
// nothing above U+10FFFF). Pure ASCII is well-formed too.
bool IsUtf8(std::string_view bytes);

// Appends the Shift_JIS form of one Unicode code point, or "〓" when Shift_JIS has none.
void AppendCodePointAsSjis(char32_t codePoint, std::string& sjis);

#endif
