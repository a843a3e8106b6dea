// The error texts of the POP3 client: Japanese, a blank and an English gloss, as Shift_JIS bytes.
#ifndef KELVOR_POP3_POP3TEXTS_H
#define KELVOR_POP3_POP3TEXTS_H

extern const char* const kPop3TextCannotConnect;
extern const char* const kPop3TextBadConnection;
extern const char* const kPop3TextBadUsername;
extern const char* const kPop3TextBadPassword;
extern const char* const kPop3TextStatError;
extern const char* const kPop3TextNoopError;
extern const char* const kPop3TextListError;
extern const char* const kPop3TextQuitError;
// Encrypted connections: the handshake, the server's certificate, and STLS refused.
extern const char* const kPop3TextTlsHandshakeFailed;
extern const char* const kPop3TextCertificateNotTrusted;
extern const char* const kPop3TextStlsError;
// Both retrieval commands, TOP and RETR, report their failures with these words.
extern const char* const kPop3TextRetrieveError;
extern const char* const kPop3TextResponseBufferFailed;
extern const char* const kPop3TextChunkBufferFailed;
// A multi-line response that grew past its cap; "\r\n" and the command follow.
extern const char* const kPop3TextResponseTooLarge;
// The login with an access token: AUTH refused or broken off, and the token refused.
extern const char* const kPop3TextAuthError;
extern const char* const kPop3TextTokenRefused;

#endif
