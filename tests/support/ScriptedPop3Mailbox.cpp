// The mailbox mode of the scripted POP3 server: whole messages served as a real server would,
// with the refusals a test asks for.
#include "ScriptedPop3Server.h"

#include <algorithm>
#include <cstdlib>

#include "decode/EncodedWord.h"

namespace {

std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// A message as it travels in a multi-line response: lines that begin with "." get another.
std::string DotStuffed(const std::string& text)
{
    std::string stuffed;
    stuffed.reserve(text.size() + 16);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.')
            stuffed += '.';
        stuffed += c;
        lineStart = c == '\n';
    }
    return stuffed;
}

// The header of a message, the empty line after it and the first lines of its body, or the
// whole text when it has no more.
std::string TopOf(const std::string& message, long long lines)
{
    std::size_t end = 2;
    if (message.compare(0, 2, "\r\n") != 0) {
        end = message.find("\r\n\r\n");
        if (end == std::string::npos)
            return message;
        end += 4;
    }
    for (; lines > 0 && end < message.size(); --lines) {
        std::size_t lineEnd = message.find('\n', end);
        end = lineEnd == std::string::npos ? message.size() : lineEnd + 1;
    }
    return message.substr(0, end);
}

std::string EndedResponse(const std::string& body)
{
    std::string response = body;
    if (!response.empty() && (response.size() < 2 || response.compare(response.size() - 2, 2, "\r\n") != 0))
        response += "\r\n";
    return response + ".\r\n";
}

// The message number of an argument text, or 0 when it is no number of this mailbox.
int MessageNumber(const std::string& argument, std::size_t count)
{
    if (argument.empty() || argument.size() > 9)
        return 0;
    int number = 0;
    for (char c : argument) {
        if (c < '0' || c > '9')
            return 0;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && static_cast<std::size_t>(number) <= count ? number : 0;
}

}  // namespace

void CScriptedPop3Server::SetMessages(std::vector<std::string> messages)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages = std::move(messages);
}

void CScriptedPop3Server::RefuseLogin(bool refuse)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refuseLogin = refuse;
}

void CScriptedPop3Server::RefuseTop(int n)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refusedTops.push_back(n);
}

void CScriptedPop3Server::SetUniqueIds(std::vector<std::string> ids)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uniqueIdsGiven = true;
    m_uniqueIds = std::move(ids);
}

void CScriptedPop3Server::RefuseUniqueIds()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uniqueIdsGiven = false;
    m_uniqueIds.clear();
}

void CScriptedPop3Server::SetCapabilities(std::vector<std::string> capabilities)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_capabilitiesGiven = true;
    m_capabilities = std::move(capabilities);
}

void CScriptedPop3Server::AcceptTokens(std::vector<std::string> tokens)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tokens = std::move(tokens);
}

std::vector<std::string> CScriptedPop3Server::Commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void CScriptedPop3Server::ServeMailbox(std::intptr_t connection)
{
    std::vector<std::string> messages;
    bool refuseLogin = false;
    std::vector<int> refusedTops;
    std::vector<std::string> tokens;
    // An empty list stands for a refused command.
    std::string uniqueIdListing;
    std::string capabilityListing;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        messages = m_messages;
        refuseLogin = m_refuseLogin;
        refusedTops = m_refusedTops;
        tokens = m_tokens;
        if (m_uniqueIdsGiven) {
            uniqueIdListing = "+OK\r\n";
            for (std::size_t i = 0; i < m_uniqueIds.size(); ++i)
                uniqueIdListing += std::to_string(i + 1) + " " + m_uniqueIds[i] + "\r\n";
            uniqueIdListing += ".\r\n";
        }
        if (m_capabilitiesGiven) {
            capabilityListing = "+OK\r\n";
            for (const std::string& capability : m_capabilities)
                capabilityListing += capability + "\r\n";
            capabilityListing += ".\r\n";
        }
    }
    bool loggedIn = false;
    bool userGiven = false;
    // 1 after "AUTH XOAUTH2" was answered "+", 2 after a refused response's challenge.
    int authenticating = 0;
    std::string pending;
    SendBytes(connection, "+OK test server ready\r\n");
    char area[4096];
    for (;;) {
        std::size_t lineEnd = pending.find('\n');
        if (lineEnd == std::string::npos) {
            int received = ReceiveUnlessStopping(connection, area, static_cast<int>(sizeof area));
            if (received <= 0)
                break;
            pending.append(area, static_cast<std::size_t>(received));
            continue;
        }
        std::string line = pending.substr(0, lineEnd);
        pending.erase(0, lineEnd + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_commands.push_back(line);
        }
        std::size_t blank = line.find(' ');
        std::string verb = Upper(line.substr(0, blank));
        std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        std::string argument = rest.substr(0, rest.find(' '));

        if (verb == "QUIT") {
            SendBytes(connection, "+OK bye\r\n");
            break;
        }
        if (authenticating == 1) {
            const std::string response = DecodeBase64(line);
            const bool accepted = std::any_of(tokens.begin(), tokens.end(), [&](const std::string& token) {
                return response.find("auth=Bearer " + token + "\x01") != std::string::npos;
            });
            loggedIn = accepted;
            authenticating = accepted ? 0 : 2;
            SendBytes(connection, accepted ? "+OK logged in\r\n" : "+ eyJzdGF0dXMiOiI0MDEifQ==\r\n");
            continue;
        }
        if (authenticating == 2) {
            authenticating = 0;
            SendBytes(connection, "-ERR [AUTH] token refused\r\n");
            continue;
        }
        if (!loggedIn) {
            if (verb == "AUTH" && Upper(argument) == "XOAUTH2" && !tokens.empty()) {
                authenticating = 1;
                SendBytes(connection, "+ \r\n");
            } else if (verb == "CAPA" && !capabilityListing.empty()) {
                SendBytes(connection, capabilityListing);
            } else if (verb == "USER" && !refuseLogin) {
                userGiven = true;
                SendBytes(connection, "+OK send the password\r\n");
            } else if (verb == "PASS" && userGiven && !refuseLogin) {
                loggedIn = true;
                SendBytes(connection, "+OK logged in\r\n");
            } else {
                SendBytes(connection, "-ERR authentication failed\r\n");
            }
            continue;
        }
        std::size_t total = 0;
        for (const std::string& message : messages)
            total += message.size();
        if (verb == "STAT") {
            SendBytes(connection, "+OK " + std::to_string(messages.size()) + " " +
                                    std::to_string(total) + "\r\n");
        } else if (verb == "NOOP") {
            SendBytes(connection, "+OK\r\n");
        } else if (verb == "UIDL" && argument.empty() && !uniqueIdListing.empty()) {
            SendBytes(connection, uniqueIdListing);
        } else if (verb == "CAPA" && !capabilityListing.empty()) {
            SendBytes(connection, capabilityListing);
        } else if (verb == "LIST" && argument.empty()) {
            std::string response = "+OK " + std::to_string(messages.size()) + " messages\r\n";
            for (std::size_t i = 0; i < messages.size(); ++i)
                response += std::to_string(i + 1) + " " + std::to_string(messages[i].size()) + "\r\n";
            SendBytes(connection, response + ".\r\n");
        } else if (verb == "LIST" || verb == "TOP" || verb == "RETR") {
            int number = MessageNumber(argument, messages.size());
            bool refused = verb == "TOP" &&
                std::find(refusedTops.begin(), refusedTops.end(), number) != refusedTops.end();
            if (number == 0 || refused) {
                SendBytes(connection, "-ERR no such message\r\n");
            } else if (verb == "LIST") {
                SendBytes(connection, "+OK " + argument + " " +
                                        std::to_string(messages[number - 1].size()) + "\r\n");
            } else {
                const std::string& message = messages[static_cast<std::size_t>(number) - 1];
                std::string lines = rest.substr(argument.size() + (argument.size() < rest.size()));
                std::string body =
                    verb == "TOP" ? TopOf(message, std::atoll(lines.c_str())) : message;
                SendBytes(connection, "+OK " + std::to_string(message.size()) + " octets\r\n" +
                                        EndedResponse(DotStuffed(body)));
            }
        } else {
            SendBytes(connection, "-ERR unknown command\r\n");
        }
    }
    CloseConnectionSocket(connection);
}
