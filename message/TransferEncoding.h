// Content-Transfer-Encoding (RFC 2045 section 6) undone, leniently, as mail readers must.
#ifndef KELVOR_MESSAGE_TRANSFERENCODING_H
#define KELVOR_MESSAGE_TRANSFERENCODING_H

#include <cstddef>
#include <string>
#include <string_view>

// The bytes a body stands for under `encoding` (the field's value, any case): base64 skips
// characters outside its alphabet and needs no padding; quoted-printable joins soft line
// breaks and keeps an "=" that starts no escape; 7bit, 8bit, binary and unknown values such
// as "7-bit" leave the body as it is.
std::string DecodeTransferEncoding(std::string_view encoding, std::string_view body);

// The number of bytes DecodeTransferEncoding would give, without making them.
std::size_t DecodedSize(std::string_view encoding, std::string_view body);

// Whether the character belongs to the Base64 alphabet (padding not included).
bool IsBase64Character(char c);

// The value of one hexadecimal digit in either case, or -1.
int HexDigitValue(char c);

#endif
