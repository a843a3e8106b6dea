// The texts and the exchanges that the POP3 transcript tests script a login with, and the
// helpers that hand a transcript to the scripted server.
#ifndef KELVOR_TESTS_POP3_LOGINTRANSCRIPT_H
#define KELVOR_TESTS_POP3_LOGINTRANSCRIPT_H

#include <string>
#include <utility>
#include <vector>

#include "ScriptedPop3Server.h"

inline const std::string kCannotConnect = "サーバに接続できませんでした (Server cannot be connected)";
inline const std::string kBadConnection = "接続不良です (Bad Connection)";
inline const std::string kBadUsername = "ログイン失敗 (Bad Username)";
inline const std::string kBadPassword = "ログイン失敗 (Bad Password)";
inline const std::string kStatError = "STATコマンド処理中にエラー発生 (Error occured during STAT command)";
inline const std::string kListError = "LISTコマンド処理中にエラー発生 (Error occured during LIST command)";
inline const std::string kQuitError = "エラーです (Error occured during QUIT command)";
inline const std::string kRetrieveError = "受信失敗 (Error occured during RETR command)";
inline const std::string kResponseTooLarge = "応答が大きすぎます (Response too large)";
inline const std::string kAuthError = "AUTHコマンド処理中にエラー発生 (Error occured during AUTH command)";
inline const std::string kTokenRefused = "ログイン失敗 (Access token refused)";

// One exchange of a transcript: the command the client must send ("" for the greeting,
// which comes unasked) and the server's reply.
using Exchange = std::pair<std::string, std::string>;

inline const Exchange kGreeting{"", "+OK POP3 ready\r\n"};
inline const Exchange kUserAccepted{"USER alice\r\n", "+OK\r\n"};
inline const Exchange kPassAccepted{"PASS s3cret\r\n", "+OK logged in\r\n"};
inline const Exchange kStatTwo{"STAT \r\n", "+OK 2 300\r\n"};
inline const Exchange kNoopAccepted{"NOOP\r\n", "+OK\r\n"};
inline const Exchange kListTwo{"LIST \r\n", "+OK 2 messages\r\n1 100\r\n2 200\r\n.\r\n"};

// The login with the access token "t0k" for alice: the capabilities before it, and XOAUTH2's
// response in base64. OAUTHBEARER's names the server's port, so a row writes kBearerResponse
// and the test puts the response for its server in its place.
inline const Exchange kCapaBothMechanisms{"CAPA\r\n", "+OK\r\nUSER\r\nSASL OAUTHBEARER XOAUTH2\r\n.\r\n"};
inline const Exchange kCapaXoauth2Only{"CAPA\r\n", "+OK\r\nSASL PLAIN XOAUTH2\r\n.\r\n"};
inline const std::string kXoauth2Response = "dXNlcj1hbGljZQFhdXRoPUJlYXJlciB0MGsBAQ==\r\n";
inline const std::string kBearerResponse = "(OAUTHBEARER response)";
inline const Exchange kXoauth2Accepted{kXoauth2Response, "+OK logged in\r\n"};

inline void Script(CScriptedPop3Server& server, const std::vector<Exchange>& exchanges)
{
    for (const Exchange& exchange : exchanges) {
        if (!exchange.first.empty())
            server.Expect(exchange.first);
        server.Reply(exchange.second);
    }
}

inline std::string CommandsOf(const std::vector<Exchange>& exchanges)
{
    std::string commands;
    for (const Exchange& exchange : exchanges)
        commands += exchange.first;
    return commands;
}

#endif
