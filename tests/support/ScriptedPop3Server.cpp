// The scripted POP3 server of the tests: its socket layer (POSIX or Winsock) and the transcript
// runner; the mailbox mode is in ScriptedPop3Mailbox.cpp. Its pauses live away from Shift_JIS files.
#include "ScriptedPop3Server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
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

// 1 when the socket can be read (or take bytes, for writing) within the time, 0 otherwise.
int WaitReady(std::intptr_t handle, int milliseconds, bool writing)
{
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(static_cast<SOCKET>(handle), &ready);
    timeval limit;
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = (milliseconds % 1000) * 1000;
    return select(0, writing ? nullptr : &ready, writing ? &ready : nullptr, nullptr, &limit) > 0 ? 1 : 0;
}

int ReceiveSome(std::intptr_t handle, char* area, int capacity)
{
    return recv(static_cast<SOCKET>(handle), area, capacity, 0);
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

int WaitReady(std::intptr_t handle, int milliseconds, bool writing)
{
    pollfd entry{};
    entry.fd = static_cast<int>(handle);
    entry.events = writing ? POLLOUT : POLLIN;
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

}  // namespace

bool CScriptedPop3Server::SendBytes(std::intptr_t connection, const std::string& bytes)
{
    return SendAll(connection, bytes);
}

void CScriptedPop3Server::CloseConnectionSocket(std::intptr_t connection)
{
    CloseSocket(connection);
}

CScriptedPop3Server::CScriptedPop3Server(int port, Loopback loopback)
    : m_listener(kNoSocket),
      m_loopback(loopback),
      m_port(0),
      m_stopping(false),
      m_scriptsRunning(0),
      m_refuseLogin(false),
      m_uniqueIdsGiven(false),
      m_capabilitiesGiven(false),
      m_connectionCount(0)
{
    StartSocketsOnce();
    const bool ipv6 = loopback == Loopback::Ipv6;
    auto listener = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    m_listener = static_cast<std::intptr_t>(listener);
    sockaddr_storage address{};
    auto& ipv4Address = reinterpret_cast<sockaddr_in&>(address);
    auto& ipv6Address = reinterpret_cast<sockaddr_in6&>(address);
    if (ipv6) {
        ipv6Address.sin6_family = AF_INET6;
        ipv6Address.sin6_addr = in6addr_loopback;
        ipv6Address.sin6_port = htons(static_cast<unsigned short>(port));
    } else {
        ipv4Address.sin_family = AF_INET;
        ipv4Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ipv4Address.sin_port = htons(static_cast<unsigned short>(port));
    }
#ifndef _WIN32
    // A fixed port must be usable again at once after an earlier test left it in TIME_WAIT.
    int reuse = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
#endif
    const int boundLength = ipv6 ? sizeof ipv6Address : sizeof ipv4Address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), boundLength) == 0 && listen(listener, 8) == 0) {
#ifdef _WIN32
        int length = sizeof address;
#else
        socklen_t length = sizeof address;
#endif
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(ipv6 ? ipv6Address.sin6_port : ipv4Address.sin_port);
    } else {
        AddFailure(ipv6 ? "the server could not listen on ::1" : "the server could not listen on 127.0.0.1");
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
    if (m_loopback == Loopback::Ipv6)
        return "[::1]:" + std::to_string(m_port);
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
        if (!WaitReady(m_listener, kStopCheckMilliseconds, false))
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
        if (WaitReady(connection, kStopCheckMilliseconds, false))
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
                if (!WaitReady(connection, kStopCheckMilliseconds, false)) {
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
                if (WaitReady(connection, kStopCheckMilliseconds, true) && !SendAll(connection, piece))
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
