// Base64 encoding (RFC 4648): the standard alphabet with "=" padding, for the SASL responses of
// the POP3 login, and the URL-safe alphabet without padding, for the sign-in's PKCE and state.
#ifndef KELVOR_DECODE_BASE64ENCODING_H
#define KELVOR_DECODE_BASE64ENCODING_H

#include <string>
#include <string_view>

// "+" and "/" as the last two characters, padded with "=" to a multiple of four.
std::string EncodeBase64(std::string_view bytes);
// "-" and "_" as the last two characters, without padding.
std::string EncodeBase64Url(std::string_view bytes);

#endif
