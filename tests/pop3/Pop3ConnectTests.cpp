// The connect's time limit against a server that never completes the connection: a listener
// on 127.0.0.1 whose queue of pending connections is full drops further connection requests.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "LoopbackListener.h"
#include "Stopwatch.h"
#include "pop3/Pop3Client.h"

namespace {

// A listener that never accepts, with its queue filled by connections of its own.
class CFullListener {
public:
    CFullListener()
    {
        m_listener = ListenOnLoopback(0, m_port);
        if (m_listener < 0)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<unsigned short>(m_port));
        for (int i = 0; i < 4; ++i) {
            int filler = socket(AF_INET, SOCK_STREAM, 0);
            fcntl(filler, F_SETFL, O_NONBLOCK);
            connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(filler);
        }
        usleep(50000);
    }

    ~CFullListener()
    {
        for (int filler : m_fillers)
            close(filler);
        close(m_listener);
    }

    int Port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
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

}  // namespace
