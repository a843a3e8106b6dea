// The connect's time limit against a server that never completes the connection, and the
// order of attempts across several addresses where some are silent: a listener on 127.0.0.1
// whose queue of pending connections is full drops further connection requests.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ScriptedPop3Server.h"
#include "Stopwatch.h"
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

}  // namespace
