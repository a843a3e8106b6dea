// The error texts of the POP3 client. Written in UTF-8 here and compiled into Shift_JIS.
// This file must stay free of <chrono>, which does not compile under the Shift_JIS flag.
#include "pop3/Pop3Texts.h"

const char* const kPop3TextCannotConnect = "サーバに接続できませんでした (Server cannot be connected)";
const char* const kPop3TextBadConnection = "接続不良です (Bad Connection)";
const char* const kPop3TextBadUsername = "ログイン失敗 (Bad Username)";
const char* const kPop3TextBadPassword = "ログイン失敗 (Bad Password)";
const char* const kPop3TextStatError = "STATコマンド処理中にエラー発生 (Error occured during STAT command)";
const char* const kPop3TextNoopError = "エラーが発生しました (Error occured during NOOP command)";
const char* const kPop3TextListError = "LISTコマンド処理中にエラー発生 (Error occured during LIST command)";
const char* const kPop3TextQuitError = "エラーです (Error occured during QUIT command)";
const char* const kPop3TextTlsHandshakeFailed = "暗号化通信を開始できませんでした (TLS handshake failed)";
const char* const kPop3TextCertificateNotTrusted = "サーバ証明書を確認できませんでした (Server certificate not trusted)";
const char* const kPop3TextStlsError = "STLSコマンド処理中にエラー発生 (Error occured during STLS command)";
const char* const kPop3TextRetrieveError = "受信失敗 (Error occured during RETR command)";
const char* const kPop3TextResponseBufferFailed = "メモリの割当に失敗しました。";
const char* const kPop3TextChunkBufferFailed = "メモリの割当に失敗しました";
const char* const kPop3TextResponseTooLarge = "応答が大きすぎます (Response too large)";
const char* const kPop3TextAuthError = "AUTHコマンド処理中にエラー発生 (Error occured during AUTH command)";
const char* const kPop3TextTokenRefused = "ログイン失敗 (Access token refused)";
