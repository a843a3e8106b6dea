// CDelayRelay: one thread accepts; each connection gets a reader and a writer per direction,
// the reader stamping each chunk with the time it may go on, the writer waiting for that time.
#include "DelayRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <string>

#include "LoopbackListener.h"

namespace {

struct Chunk {
    CDelayRelay::Clock::time_point due;
    std::string bytes;  // empty: the sender has closed its side
};

// Chunks on their way in one direction.
class CChunkQueue {
public:
    void Push(Chunk chunk)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_chunks.push_back(std::move(chunk));
        m_ready.notify_one();
    }
    Chunk Pop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_chunks.empty(); });
        Chunk chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        return chunk;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Chunk> m_chunks;
};

bool SendAll(int socket, const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t piece = send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (piece <= 0)
            return false;
        sent += static_cast<std::size_t>(piece);
    }
    return true;
}

int ConnectTo(int port)
{
    int connection = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<unsigned short>(port));
    if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(connection);
        return -1;
    }
    return connection;
}

// Passes what from sends on to to, each chunk delay after it came; onClosed runs when from
// has closed its side.
void Pump(int from, int to, std::chrono::milliseconds delay, const std::function<void()>& onClosed)
{
    // Chunks go on as they come, not gathered into larger ones.
    int noDelay = 1;
    setsockopt(to, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    CChunkQueue queue;
    std::thread writer([&] {
        for (;;) {
            Chunk chunk = queue.Pop();
            std::this_thread::sleep_until(chunk.due);
            if (chunk.bytes.empty() || !SendAll(to, chunk.bytes)) {
                shutdown(to, SHUT_WR);
                return;
            }
        }
    });
    char area[65536];
    for (;;) {
        ssize_t received = recv(from, area, sizeof area, 0);
        if (received <= 0)
            break;
        queue.Push({CDelayRelay::Clock::now() + delay, std::string(area, static_cast<std::size_t>(received))});
    }
    onClosed();
    queue.Push({CDelayRelay::Clock::now() + delay, std::string()});
    writer.join();
}

}  // namespace

CDelayRelay::CDelayRelay(int targetPort, int delayMilliseconds)
    : m_targetPort(targetPort), m_delay(delayMilliseconds)
{
    m_listener = ListenOnLoopback(8, m_port);
    if (m_listener < 0)
        return;
    m_acceptor = std::thread(&CDelayRelay::Accept, this);
}

CDelayRelay::~CDelayRelay()
{
    m_stopping = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    for (std::thread& thread : m_threads)
        thread.join();
    close(m_listener);
}

std::vector<CDelayRelay::Connection> CDelayRelay::Connections() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

void CDelayRelay::Accept()
{
    while (!m_stopping) {
        pollfd entry{m_listener, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0)
            continue;
        int client = accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            index = m_connections.size();
            m_connections.push_back({Clock::now(), Clock::time_point()});
        }
        m_threads.emplace_back(&CDelayRelay::Relay, this, client, index);
    }
}

void CDelayRelay::Relay(int client, std::size_t index)
{
    int server = ConnectTo(m_targetPort);
    if (server < 0) {
        close(client);
        return;
    }
    std::thread toClient(Pump, server, client, m_delay, [] {});
    Pump(client, server, m_delay, [this, index] {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections[index].clientClosed = Clock::now();
    });
    toClient.join();
    close(server);
    close(client);
}
