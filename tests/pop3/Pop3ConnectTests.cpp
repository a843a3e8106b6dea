// The connect's time limit against a server that never completes the connection, and the
// order of attempts across several addresses where some are silent: a listener on 127.0.0.1
// whose queue of pending connections is full drops further connection requests. The name look-up
// within the limit: the tests' own look-up, and name servers that never answer (Linux, as root).
#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <tuple>
#include <thread>
#include <utility>
#include <vector>

#include "ScriptedPop3Server.h"
#include "Stopwatch.h"
#include "pop3/HostLookup.h"
#include "pop3/Pop3Client.h"
#include "pop3/TcpStream.h"

namespace {

#ifdef _WIN32
using SocketHandle = SOCKET;
using AddressLength = int;
void CloseSocket(SOCKET handle) { closesocket(handle); }
void MakeNonBlocking(SOCKET handle) { u_long on = 1; ioctlsocket(handle, FIONBIO, &on); }
#else
using SocketHandle = int;
using AddressLength = socklen_t;
void CloseSocket(int handle) { close(handle); }
void MakeNonBlocking(int handle) { fcntl(handle, F_SETFL, O_NONBLOCK); }
#endif

// A listener on 127.0.0.1 that never accepts, with its queue filled by connections of its own.
// Linux drops the connection requests that find the queue full; so does Wine, which runs the
// Windows build on Linux sockets.
class CFullListener {
public:
    CFullListener()
    {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        AddressLength length = sizeof address;
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listener, 0) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            SocketHandle filler = socket(AF_INET, SOCK_STREAM, 0);
            MakeNonBlocking(filler);
            connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(filler);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    ~CFullListener()
    {
        for (SocketHandle filler : m_fillers)
            CloseSocket(filler);
        CloseSocket(m_listener);
#ifdef _WIN32
        WSACleanup();
#endif
    }

    int Port() const { return m_port; }

private:
    SocketHandle m_listener;
    int m_port = 0;
    std::vector<SocketHandle> m_fillers;
};

TEST(Pop3Connect, ServerThatNeverCompletesTheConnectionIsGivenUpAfterTheTimeLimit)
{
    CFullListener listener;
    ASSERT_NE(listener.Port(), 0);
    const int limit = 200;
    CPop3Client client;
    client.SetTimeLimit(limit);
    CStopwatch stopwatch;
    EXPECT_EQ(client.Login("127.0.0.1:" + std::to_string(listener.Port()), "alice", "s3cret"), 0);
    long long elapsed = stopwatch.ElapsedMilliseconds();
    EXPECT_NE(client.GetErrorText().find("(Server cannot be connected)"), std::string::npos)
        << client.GetErrorText();
    EXPECT_GE(elapsed, limit - 20);
    EXPECT_LT(elapsed, limit + 500);
    // Nothing waits after the failed connect.
    CStopwatch afterwards;
    EXPECT_EQ(client.Quit(), 1);
    EXPECT_LT(afterwards.ElapsedMilliseconds(), limit);
}

TcpAddress LoopbackAddress(Loopback loopback, int port)
{
    TcpAddress address;
    address.ipv6 = loopback == Loopback::Ipv6;
    address.bytes = address.ipv6 ? std::array<unsigned char, 16>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}
                                 : std::array<unsigned char, 16>{127, 0, 0, 1};
    address.port = port;
    return address;
}

TEST(Pop3Connect, FamiliesAlternateWithIpv6First)
{
    const std::vector<std::pair<std::string, std::vector<int>>> rows = {
        {"44666", {3, 1, 4, 2, 5}}, {"6444", {1, 2, 3, 4}}, {"44", {1, 2}}, {"", {}}};
    for (const auto& [families, portsInOrder] : rows) {
        std::vector<TcpAddress> given;
        for (char family : families)
            given.push_back(LoopbackAddress(family == '6' ? Loopback::Ipv6 : Loopback::Ipv4, int(given.size()) + 1));
        std::vector<int> ports;
        for (const TcpAddress& address : InConnectOrder(given))
            ports.push_back(address.port);
        EXPECT_EQ(ports, portsInOrder) << families;
    }
}

TEST(Pop3Connect, FirstAddressThatAnswersWinsWhateverTheSilentOnesBeforeIt)
{
    CFullListener silent;
    ASSERT_NE(silent.Port(), 0);
    int refusedPort = 0;
    {
        CScriptedPop3Server gone;
        refusedPort = gone.Port();
    }
    // The addresses of a row: 's' silent (drops the connection request), 'r' refused, 'w' the
    // server on 127.0.0.1, '6' the server on ::1.
    const std::vector<std::string> rows = {"sw", "sssw", "rrrrrrrrrrrrw", "srsrw", "ws", "s6"};
    const int limit = 5000;
    for (const std::string& row : rows) {
        SCOPED_TRACE(row);
        CScriptedPop3Server server(0, row.back() == '6' ? Loopback::Ipv6 : Loopback::Ipv4);
        if (server.Port() == 0) {
            std::printf("row %s skipped: this machine's loopback has no ::1\n", row.c_str());
            continue;
        }
        server.Reply("+OK ready\r\n");
        std::vector<TcpAddress> addresses;
        for (char kind : row) {
            int port = kind == 's' ? silent.Port() : kind == 'r' ? refusedPort : server.Port();
            addresses.push_back(LoopbackAddress(kind == '6' ? Loopback::Ipv6 : Loopback::Ipv4, port));
        }
        CTcpStream stream;
        CStopwatch stopwatch;
        ASSERT_EQ(stream.ConnectToAny(addresses, limit), 1);
        // Each silent address costs one delay of 250 ms; a refused one nothing (12 delays would
        // pass the bound).
        EXPECT_LT(stopwatch.ElapsedMilliseconds(), limit / 2);
        char greeting[16] = {};
        EXPECT_EQ(stream.Receive(greeting, sizeof greeting, limit), 11);
        EXPECT_EQ(std::string(greeting), "+OK ready\r\n");
    }
}

TEST(Pop3Connect, SilentAddressesShareTheOneTimeLimit)
{
    CFullListener silent;
    ASSERT_NE(silent.Port(), 0);
    const int limit = 600;
    std::vector<TcpAddress> addresses(4, LoopbackAddress(Loopback::Ipv4, silent.Port()));
    CTcpStream stream;
    CStopwatch stopwatch;
    EXPECT_EQ(stream.ConnectToAny(addresses, limit), 0);
    const long long elapsed = stopwatch.ElapsedMilliseconds();
    EXPECT_GE(elapsed, limit - 20);
    EXPECT_LT(elapsed, limit + 500);
    EXPECT_FALSE(stream.IsOpen());
}

// The tests' look-up: "late.test" is 127.0.0.1 after 600 ms; "never.test" answers only once
// the test opens the gate, long after its connects have given up.
std::promise<void> g_gate;
std::shared_future<void> g_gateOpened = g_gate.get_future().share();
std::atomic<int> g_neverLookUps{0};

int SlowLookup(const std::string& host, std::vector<TcpAddress>& addresses)
{
    if (host == "never.test") {
        ++g_neverLookUps;
        g_gateOpened.wait();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    addresses.push_back(LoopbackAddress(Loopback::Ipv4, 0));
    return 1;
}

TEST(Pop3Connect, LookUpThatAnswersLateOrNeverStaysWithinTheTimeLimit)
{
    CFullListener silent;
    CScriptedPop3Server server;
    ASSERT_NE(silent.Port(), 0);
    ReplaceHostLookup(SlowLookup);
    // Rows: the host, 's' a silent server or 'w' one that accepts, whether the connect succeeds.
    // "late.test" leaves 200 ms of the 800 to the attempts.
    const std::vector<std::tuple<std::string, char, int>> rows = {
        {"never.test", 's', 0}, {"never.test", 'w', 0}, {"late.test", 's', 0}, {"late.test", 'w', 1}};
    const int limit = 800;
    for (const auto& [host, kind, connects] : rows) {
        SCOPED_TRACE(host + " " + kind);
        CStopwatch stopwatch;
        EXPECT_EQ(CTcpStream().Connect(host, kind == 's' ? silent.Port() : server.Port(), limit), connects);
        const long long elapsed = stopwatch.ElapsedMilliseconds();
        EXPECT_GE(elapsed, connects ? 580 : limit - 20);
        EXPECT_LT(elapsed, limit + 400);
    }
    // The second connect to never.test waited for the look-up still running, starting none; its
    // answer, once it comes, serves the connect then waiting (and no look-up outlives the test).
    EXPECT_EQ(g_neverLookUps, 1);
    g_gate.set_value();
    EXPECT_EQ(CTcpStream().Connect("never.test", server.Port(), limit), 1);
    ReplaceHostLookup(nullptr);
}

TEST(Pop3Connect, SilentNameServersEndTheLoginAtItsTimeLimit)
{
#ifdef __linux__
    // A child of its own: the mount namespace is the whole process's, and a process with threads
    // cannot leave it. Its exit code: 0 passed, 1 failed, 3 the namespace cannot be had here.
    pid_t child = fork();
    if (child == 0) {
        // Three name servers that take every query and never reply, and a search list.
        std::string text = "search example.test corp.example.test\n";
        for (const char* address : {"127.0.0.1", "127.0.0.2", "127.0.0.3"}) {
            sockaddr_in server{AF_INET, htons(53), {inet_addr(address)}, {}};
            if (bind(socket(AF_INET, SOCK_DGRAM, 0), reinterpret_cast<sockaddr*>(&server), sizeof server) != 0)
                _exit(3);
            text += std::string("nameserver ") + address + "\n";
        }
        char conf[] = "/tmp/kelvor-resolv.XXXXXX";
        int file = mkstemp(conf);
        bool arranged = file >= 0 && write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                        unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                        mount(conf, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
        unlink(conf);
        if (!arranged)
            _exit(3);
        CPop3Client client;
        client.SetTimeLimit(1000);
        CStopwatch stopwatch;
        bool failedInTime = !client.Login("pop.example.test", "alice", "pw") && stopwatch.ElapsedMilliseconds() < 1500;
        _exit(failedInTime && client.GetErrorText().find("(Server cannot be connected)") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_TRUE(child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "no private mount namespace or no free port 53 on 127.0.0.1-3 here (it needs root)";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#else
    GTEST_SKIP() << "no private mount namespace on Windows: the look-up's time limit is tested through the seam";
#endif
}

}  // namespace
