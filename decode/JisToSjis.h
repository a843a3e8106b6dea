// The ISO-2022-JP (7-bit JIS) to Shift_JIS conversion of mail text.
#ifndef KELVOR_DECODE_JISTOSJIS_H
#define KELVOR_DECODE_JISTOSJIS_H

#include <string>

// Converts a text that ends at its first zero byte; the result is a text too, so it ends
// where a pair of bytes outside the JIS range would yield a zero byte. Every escape sequence
// counts as three bytes, and only the byte after ESC decides the mode: "(" single-byte, any
// other two-byte. A lone byte left in two-byte mode at the end is dropped.
std::string ConvertJisToSjis(const std::string& text);

// Turns one JIS X 0208 pair into its two Shift_JIS bytes, in place.
void JisPairToSjis(unsigned char& first, unsigned char& second);

#endif
