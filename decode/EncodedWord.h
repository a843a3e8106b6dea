// MIME encoded words (RFC 2047) with their Base64 and quoted-printable decoders.
// Pure byte functions: every input is a text that ends at its first zero byte.
#ifndef KELVOR_DECODE_ENCODEDWORD_H
#define KELVOR_DECODE_ENCODEDWORD_H

#include <string>

// Decodes the encoded words of the seven known openings (US-ASCII and ISO-8859-1/-2 in B
// or Q form, ISO-2022-JP in B form); everything else is copied through unchanged. A word
// ends at its first "?", which closes it together with the byte after it; a word still open
// at the end of the text is dropped. No character set is converted here.
std::string DecodeEncodedWords(const std::string& text);

// Groups of four characters, after the "=" at the end are removed; each group gives its
// three bytes up to the first zero byte among them. Nothing is skipped or checked.
std::string DecodeBase64(const std::string& text);

// "=" and the two bytes after it stand for one byte, by an unchecked digit subtraction;
// a resulting zero byte is left out. "_" stays "_".
std::string DecodeQuotedPrintable(const std::string& text);

// The value of one Base64 character; a byte outside the alphabet gives itself (0 to 255).
int Base64Value(char c);

#endif
