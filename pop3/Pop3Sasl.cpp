// CPop3Client: the login with an OAuth 2.0 access token (SASL OAUTHBEARER or XOAUTH2), the
// alternative to USER and PASS for mailboxes whose provider signs the user in.
#include "pop3/Pop3Client.h"

#include "decode/Base64Encoding.h"
#include "message/HeaderFields.h"
#include "pop3/Pop3Texts.h"
#include "pop3/Pop3Wire.h"

namespace {

// Whether the SASL line of a CAPA response names the mechanism (in any case).
bool OffersMechanism(std::string_view response, std::string_view mechanism)
{
    std::size_t position = 0;
    std::string_view line;
    while (NextBodyLine(response, position, line)) {
        std::size_t wordEnd = line.find(' ');
        if (!EqualsIgnoringCase(line.substr(0, wordEnd), "SASL"))
            continue;
        while (wordEnd != std::string_view::npos) {
            const std::size_t start = wordEnd + 1;
            wordEnd = line.find(' ', start);
            if (EqualsIgnoringCase(line.substr(start, wordEnd - start), mechanism))
                return true;
        }
    }
    return false;
}

// The server's "+" that asks for the next line of the exchange, with or without text after it.
bool IsContinuation(const std::string& reply)
{
    return !reply.empty() && reply[0] == '+' &&
           (reply.size() == 1 || reply[1] == ' ' || reply[1] == '\r' || reply[1] == '\n');
}

// The user name as a SASL name of the OAUTHBEARER header: "," and "=" are escaped.
std::string SaslName(const std::string& user)
{
    std::string name;
    for (char c : user) {
        if (c == ',')
            name += "=2C";
        else if (c == '=')
            name += "=3D";
        else
            name += c;
    }
    return name;
}

}  // namespace

int CPop3Client::LoginWithToken(const std::string& server, const std::string& user,
                                const std::string& accessToken)
{
    m_tokenRefused = false;
    return AtConversationEdge(0, [&] {
        std::string host;
        int port = 0;
        if (!OpenConversation(server, host, port))
            return 0;
        if (!Authenticate(host, port, user, accessToken))
            return 0;
        return AfterLogin();
    });
}

bool CPop3Client::TokenRefused() const
{
    return m_tokenRefused;
}

int CPop3Client::Authenticate(const std::string& host, int port, const std::string& user,
                              const std::string& accessToken)
{
    // The capabilities before the login name the mechanisms. A server that refuses CAPA may
    // still take XOAUTH2, the one that every provider offers.
    SendCommand("CAPA\r\n");
    std::string capabilities;
    switch (ReadResponse(capabilities, kReceiveArea, kCapabilityResponseCap)) {
    case ResponseOutcome::Complete:
    case ResponseOutcome::Refused:
        break;
    case ResponseOutcome::TooLarge:
        m_strErrorText = std::string(kPop3TextResponseTooLarge) + "\r\nCAPA";
        return 0;
    case ResponseOutcome::Broken:
        m_strErrorText = kPop3TextBadConnection;
        return 0;
    }
    const bool bearer = OffersMechanism(capabilities, "OAUTHBEARER");
    const std::string name = CommandArgument(user);
    const std::string token = CommandArgument(accessToken);
    std::string response;
    if (bearer) {
        response = "n,a=" + SaslName(name) + ",\x01host=" + host + "\x01port=" + std::to_string(port) +
                   "\x01" "auth=Bearer " + token + "\x01\x01";
    } else {
        response = "user=" + name + "\x01" "auth=Bearer " + token + "\x01\x01";
    }

    // Always two lines: a token is longer than a command line may be, and some servers take
    // no initial response at all.
    SendCommand(bearer ? "AUTH OAUTHBEARER\r\n" : "AUTH XOAUTH2\r\n");
    std::string reply = AsText(ReadReplyLine());
    if (!IsContinuation(reply)) {
        m_strErrorText = std::string(kPop3TextAuthError) + "\r\n" + reply;
        return 0;
    }
    SendCommand(EncodeBase64(response) + "\r\n");
    reply = AsText(ReadReplyLine());
    if (StartsWithIgnoringCase(reply, "+OK"))
        return 1;
    if (IsContinuation(reply)) {
        // A refusal with its reasons (base64 JSON). The exchange must be ended as the
        // mechanism says before the server sends its -ERR: a lone 0x01 for OAUTHBEARER, an
        // empty line for XOAUTH2.
        SendCommand(bearer ? "AQ==\r\n" : "\r\n");
        reply = AsText(ReadReplyLine());
        m_tokenRefused = true;
    } else {
        m_tokenRefused = IsErrorReply(reply);
    }
    m_strErrorText = std::string(m_tokenRefused ? kPop3TextTokenRefused : kPop3TextAuthError) + "\r\n" + reply;
    return 0;
}
