// The scripted POP3 server of the tests: its socket layer (POSIX or Winsock), the transcript
// runner and a small mailbox server. Its pauses live here, away from the Shift_JIS test files.
#include "ScriptedPop3Server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

const std::intptr_t kNoSocket = -1;
// How often a waiting server thread looks whether it is being stopped.
const int kStopCheckMilliseconds = 20;
// How long an Expect step waits for the client's command.
const int kExpectLimitMilliseconds = 5000;

#ifdef _WIN32
void StartSocketsOnce()
{
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

void CloseSocket(std::intptr_t handle)
{
    closesocket(static_cast<SOCKET>(handle));
}

// 1 when the socket can be read within the time, 0 otherwise.
int WaitReadable(std::intptr_t handle, int milliseconds)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(static_cast<SOCKET>(handle), &ready);
    timeval limit;
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = (milliseconds % 1000) * 1000;
    return select(0, &ready, nullptr, nullptr, &limit) > 0 ? 1 : 0;
}

int ReceiveSome(std::intptr_t handle, char* area, int capacity)
{
    return recv(static_cast<SOCKET>(handle), area, capacity, 0);
}

// 1 when the socket can take bytes within the time, 0 otherwise.
int WaitWritable(std::intptr_t handle, int milliseconds)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(static_cast<SOCKET>(handle), &ready);
    timeval limit;
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = (milliseconds % 1000) * 1000;
    return select(0, nullptr, &ready, nullptr, &limit) > 0 ? 1 : 0;
}

// false when the connection failed, the peer having closed it among other reasons.
bool SendAll(std::intptr_t handle, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        int piece = send(static_cast<SOCKET>(handle), bytes.data() + sent,
                         static_cast<int>(bytes.size() - sent), 0);
        if (piece <= 0)
            return false;
        sent += static_cast<std::size_t>(piece);
    }
    return true;
}
#else
void StartSocketsOnce()
{
}

void CloseSocket(std::intptr_t handle)
{
    close(static_cast<int>(handle));
}

int WaitReadable(std::intptr_t handle, int milliseconds)
{
    pollfd entry{};
    entry.fd = static_cast<int>(handle);
    entry.events = POLLIN;
    return poll(&entry, 1, milliseconds) > 0 ? 1 : 0;
}

int ReceiveSome(std::intptr_t handle, char* area, int capacity)
{
    for (;;) {
        ssize_t received = recv(static_cast<int>(handle), area, static_cast<std::size_t>(capacity), 0);
        if (received >= 0 || errno != EINTR)
            return static_cast<int>(received);
    }
}

int WaitWritable(std::intptr_t handle, int milliseconds)
{
    pollfd entry{};
    entry.fd = static_cast<int>(handle);
    entry.events = POLLOUT;
    return poll(&entry, 1, milliseconds) > 0 ? 1 : 0;
}

bool SendAll(std::intptr_t handle, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t piece = send(static_cast<int>(handle), bytes.data() + sent, bytes.size() - sent,
                             MSG_NOSIGNAL);
        if (piece < 0 && errno == EINTR)
            continue;
        if (piece <= 0)
            return false;
        sent += static_cast<std::size_t>(piece);
    }
    return true;
}
#endif

void Sleep(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

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

CScriptedPop3Server::CScriptedPop3Server(int port)
    : m_listener(kNoSocket),
      m_port(0),
      m_stopping(false),
      m_scriptsRunning(0),
      m_refuseLogin(false),
      m_uniqueIdsGiven(false),
      m_capabilitiesGiven(false),
      m_connectionCount(0)
{
    StartSocketsOnce();
    auto listener = socket(AF_INET, SOCK_STREAM, 0);
    m_listener = static_cast<std::intptr_t>(listener);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<unsigned short>(port));
#ifndef _WIN32
    // A fixed port must be usable again at once after an earlier test left it in TIME_WAIT.
    int reuse = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
#endif
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener, 8) == 0) {
#ifdef _WIN32
        int length = sizeof address;
#else
        socklen_t length = sizeof address;
#endif
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    } else {
        AddFailure("the server could not listen on 127.0.0.1");
    }
    m_thread = std::thread(&CScriptedPop3Server::Run, this);
}

CScriptedPop3Server::~CScriptedPop3Server()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_thread.join();
    CloseSocket(m_listener);
}

std::string CScriptedPop3Server::Address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

int CScriptedPop3Server::Port() const
{
    return m_port;
}

CScriptedPop3Server& CScriptedPop3Server::AddStep(StepKind kind, const std::string& bytes,
                                                  int milliseconds)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_steps.push_back(Step{kind, bytes, milliseconds});
    return *this;
}

CScriptedPop3Server& CScriptedPop3Server::Expect(const std::string& command)
{
    return AddStep(StepKind::Expect, command, 0);
}

CScriptedPop3Server& CScriptedPop3Server::Reply(const std::string& bytes)
{
    return AddStep(StepKind::Reply, bytes, 0);
}

CScriptedPop3Server& CScriptedPop3Server::ReplyInPieces(const std::vector<std::string>& pieces,
                                                        int pauseMilliseconds)
{
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            Pause(pauseMilliseconds);
        Reply(pieces[i]);
    }
    return *this;
}

CScriptedPop3Server& CScriptedPop3Server::Pause(int milliseconds)
{
    return AddStep(StepKind::Pause, std::string(), milliseconds);
}

CScriptedPop3Server& CScriptedPop3Server::ReplyEndlessly(const std::string& filler)
{
    return AddStep(StepKind::Endless, filler, 0);
}

CScriptedPop3Server& CScriptedPop3Server::Dribble(const std::string& bytes, int pauseMilliseconds)
{
    return AddStep(StepKind::Dribble, bytes, pauseMilliseconds);
}

CScriptedPop3Server& CScriptedPop3Server::CloseConnection()
{
    return AddStep(StepKind::Close, std::string(), 0);
}

CScriptedPop3Server& CScriptedPop3Server::Stall()
{
    return AddStep(StepKind::Stall, std::string(), 0);
}

bool CScriptedPop3Server::WaitUntilScriptEnds(int timeLimitMilliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_scriptEnded.wait_for(lock, std::chrono::milliseconds(timeLimitMilliseconds),
                                  [this] { return m_steps.empty() && m_scriptsRunning == 0; });
}

std::string CScriptedPop3Server::Received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::string CScriptedPop3Server::Failures() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

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

std::vector<std::string> CScriptedPop3Server::Commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

int CScriptedPop3Server::ConnectionCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connectionCount;
}

bool CScriptedPop3Server::Stopping() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopping;
}

void CScriptedPop3Server::AddFailure(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures += text + "\n";
}

void CScriptedPop3Server::RecordReceived(const char* data, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.append(data, length);
}

void CScriptedPop3Server::Run()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                return;
        }
        if (!WaitReadable(m_listener, kStopCheckMilliseconds))
            continue;
        auto accepted = accept(static_cast<decltype(socket(0, 0, 0))>(m_listener), nullptr, nullptr);
        std::intptr_t connection = static_cast<std::intptr_t>(accepted);
        if (connection == kNoSocket)
            continue;
        std::vector<Step> steps;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_connectionCount;
            steps.swap(m_steps);
            if (!steps.empty())
                ++m_scriptsRunning;
        }
        if (!steps.empty()) {
            ServeScript(connection, std::move(steps));
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                --m_scriptsRunning;
            }
            m_scriptEnded.notify_all();
        } else {
            ServeMailbox(connection);
        }
    }
}

int CScriptedPop3Server::ReceiveUnlessStopping(std::intptr_t connection, char* area, int capacity)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopping)
                return 0;
        }
        if (WaitReadable(connection, kStopCheckMilliseconds))
            return ReceiveSome(connection, area, capacity);
    }
}

void CScriptedPop3Server::DrainUntilClosed(std::intptr_t connection)
{
    char area[4096];
    for (;;) {
        int received = ReceiveUnlessStopping(connection, area, static_cast<int>(sizeof area));
        if (received <= 0)
            break;
        RecordReceived(area, static_cast<std::size_t>(received));
    }
    CloseSocket(connection);
}

void CScriptedPop3Server::ServeScript(std::intptr_t connection, std::vector<Step> steps)
{
    for (const Step& step : steps) {
        switch (step.kind) {
        case StepKind::Expect: {
            std::string got;
            int waited = 0;
            bool closed = false;
            while (got.size() < step.bytes.size() && waited < kExpectLimitMilliseconds) {
                if (!WaitReadable(connection, kStopCheckMilliseconds)) {
                    waited += kStopCheckMilliseconds;
                    continue;
                }
                char area[4096];
                std::size_t wanted = std::min(sizeof area, step.bytes.size() - got.size());
                int received = ReceiveSome(connection, area, static_cast<int>(wanted));
                if (received <= 0) {
                    closed = true;
                    break;
                }
                got.append(area, static_cast<std::size_t>(received));
                RecordReceived(area, static_cast<std::size_t>(received));
            }
            if (got != step.bytes) {
                AddFailure("expected \"" + step.bytes + "\" but got \"" + got + "\"" +
                           (closed ? " before the client closed" : ""));
                CloseSocket(connection);
                return;
            }
            break;
        }
        case StepKind::Reply:
            SendAll(connection, step.bytes);
            break;
        case StepKind::Pause:
            Sleep(step.milliseconds);
            break;
        case StepKind::Close:
            CloseSocket(connection);
            return;
        case StepKind::Stall:
            DrainUntilClosed(connection);
            return;
        case StepKind::Endless: {
            // Sent in small pieces, each only when the socket can take it, so that the thread
            // still sees the server stop while the client reads slowly or not at all.
            std::string piece;
            while (piece.size() < 4096)
                piece += step.bytes;
            for (;;) {
                if (Stopping())
                    break;
                if (WaitWritable(connection, kStopCheckMilliseconds) && !SendAll(connection, piece))
                    break;
            }
            CloseSocket(connection);
            return;
        }
        case StepKind::Dribble:
            for (char c : step.bytes) {
                if (Stopping() || !SendAll(connection, std::string(1, c))) {
                    CloseSocket(connection);
                    return;
                }
                Sleep(step.milliseconds);
            }
            break;
        }
    }
    DrainUntilClosed(connection);
}

void CScriptedPop3Server::ServeMailbox(std::intptr_t connection)
{
    std::vector<std::string> messages;
    bool refuseLogin = false;
    std::vector<int> refusedTops;
    // An empty list stands for a refused command.
    std::string uniqueIdListing;
    std::string capabilityListing;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        messages = m_messages;
        refuseLogin = m_refuseLogin;
        refusedTops = m_refusedTops;
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
    std::string pending;
    SendAll(connection, "+OK test server ready\r\n");
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
            SendAll(connection, "+OK bye\r\n");
            break;
        }
        if (!loggedIn) {
            if (verb == "USER" && !refuseLogin) {
                userGiven = true;
                SendAll(connection, "+OK send the password\r\n");
            } else if (verb == "PASS" && userGiven && !refuseLogin) {
                loggedIn = true;
                SendAll(connection, "+OK logged in\r\n");
            } else {
                SendAll(connection, "-ERR authentication failed\r\n");
            }
            continue;
        }
        std::size_t total = 0;
        for (const std::string& message : messages)
            total += message.size();
        if (verb == "STAT") {
            SendAll(connection, "+OK " + std::to_string(messages.size()) + " " +
                                    std::to_string(total) + "\r\n");
        } else if (verb == "NOOP") {
            SendAll(connection, "+OK\r\n");
        } else if (verb == "UIDL" && argument.empty() && !uniqueIdListing.empty()) {
            SendAll(connection, uniqueIdListing);
        } else if (verb == "CAPA" && !capabilityListing.empty()) {
            SendAll(connection, capabilityListing);
        } else if (verb == "LIST" && argument.empty()) {
            std::string response = "+OK " + std::to_string(messages.size()) + " messages\r\n";
            for (std::size_t i = 0; i < messages.size(); ++i)
                response += std::to_string(i + 1) + " " + std::to_string(messages[i].size()) + "\r\n";
            SendAll(connection, response + ".\r\n");
        } else if (verb == "LIST" || verb == "TOP" || verb == "RETR") {
            int number = MessageNumber(argument, messages.size());
            bool refused = verb == "TOP" &&
                std::find(refusedTops.begin(), refusedTops.end(), number) != refusedTops.end();
            if (number == 0 || refused) {
                SendAll(connection, "-ERR no such message\r\n");
            } else if (verb == "LIST") {
                SendAll(connection, "+OK " + argument + " " +
                                        std::to_string(messages[number - 1].size()) + "\r\n");
            } else {
                const std::string& message = messages[static_cast<std::size_t>(number) - 1];
                std::string lines = rest.substr(argument.size() + (argument.size() < rest.size()));
                std::string body =
                    verb == "TOP" ? TopOf(message, std::atoll(lines.c_str())) : message;
                SendAll(connection, "+OK " + std::to_string(message.size()) + " octets\r\n" +
                                        EndedResponse(DotStuffed(body)));
            }
        } else {
            SendAll(connection, "-ERR unknown command\r\n");
        }
    }
    CloseSocket(connection);
}
