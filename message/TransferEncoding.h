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

// Decodes Base64 text: characters outside the Base64 alphabet are skipped, and missing
// padding does no harm.
std::string DecodeLenientBase64(std::string_view text);

// Whether text[at] and text[at + 1] are two hexadecimal digits (in either case); if so, `byte`
// is the byte they stand for.
bool ReadHexByte(std::string_view text, std::size_t at, char& byte);

#endif
