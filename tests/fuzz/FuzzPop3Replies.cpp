// Feeds arbitrary server replies to the POP3 client over a loopback connection: either the
// replies that follow a regular login (the client then retrieves headers and messages, or
// first asks for unique ids and capabilities and sends its TOP commands ahead), or the
// server's whole side of the conversation from its greeting on.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "pop3/Pop3Client.h"
#include "pop3/UniqueIdSet.h"
#include "tests/support/LoopbackListener.h"

namespace {

// The replies of a login to a mailbox of three messages of 100 bytes.
const char kLoginReplies[] =
    "+OK ready\r\n+OK\r\n+OK\r\n+OK 3 300\r\n+OK\r\n+OK 3 messages\r\n1 100\r\n2 100\r\n3 100\r\n.\r\n";

int g_listener = -1;
int g_port = 0;

// The server's side of one conversation: sends everything at once, closes its sending side,
// and reads what the client sends until the client closes.
void Serve(std::string replies)
{
    int connection = accept(g_listener, nullptr, nullptr);
    if (connection < 0)
        return;
    std::size_t sent = 0;
    while (sent < replies.size()) {
        ssize_t piece = send(connection, replies.data() + sent, replies.size() - sent, MSG_NOSIGNAL);
        if (piece <= 0)
            break;
        sent += static_cast<std::size_t>(piece);
    }
    shutdown(connection, SHUT_WR);
    char area[4096];
    while (recv(connection, area, sizeof area, 0) > 0) {
    }
    close(connection);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (g_listener < 0 && (g_listener = ListenOnLoopback(4, g_port)) < 0)
        return 0;
    if (size == 0)
        return 0;
    bool fromGreeting = (data[0] & 1) != 0;
    bool aheadAndIds = (data[0] & 2) != 0;
    std::string replies(reinterpret_cast<const char*>(data + 1), size - 1);
    if (!fromGreeting)
        replies = kLoginReplies + replies;

    std::thread server(Serve, replies);
    {
        CPop3Client client;
        // Every reply is already there or the connection is closed; the limit only guards
        // against a fault that would make the client wait anyway.
        client.SetTimeLimit(2000);
        if (client.Login("127.0.0.1:" + std::to_string(g_port), "user", "password")) {
            int count = client.GetMessageCount();
            std::string text;
            if (aheadAndIds) {
                CUniqueIdSet ids;
                client.UniqueIds(ids);
                if (client.Capa())
                    client.PipelineSummaries(1, count < 3 ? count : 3);
                for (int n = 1; n <= count && n <= 3; ++n)
                    client.RetrieveSummary(n, text);
            }
            for (int n = 1; n <= count && n <= 3; ++n) {
                client.RetrieveSummary(n, text);
                client.RetrieveMessage(n, text);
            }
            client.RetrieveSummary(-1, text);
        }
        client.Quit();
        client.GetErrorText();
    }
    server.join();
    return 0;
}
