// CDelayRelay: a TCP relay on 127.0.0.1 for the benchmarks that holds every chunk a fixed
// time in each direction before passing it on, so that a local server looks like one behind
// a link with that much delay. It notes when each connection opened and when its client
// closed it. POSIX only.
#ifndef KELVOR_BENCH_DELAYRELAY_H
#define KELVOR_BENCH_DELAYRELAY_H

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

class CDelayRelay {
public:
    using Clock = std::chrono::steady_clock;

    struct Connection {
        Clock::time_point opened;
        Clock::time_point clientClosed;  // the epoch of Clock while the client has not closed
    };

    // Relays connections to 127.0.0.1:targetPort, each chunk held delayMilliseconds per
    // direction (0: passed on at once). Port() is 0 when no port could be opened.
    CDelayRelay(int targetPort, int delayMilliseconds);
    // Stops relaying and closes every connection.
    ~CDelayRelay();

    CDelayRelay(const CDelayRelay&) = delete;
    CDelayRelay& operator=(const CDelayRelay&) = delete;

    int Port() const { return m_port; }
    std::vector<Connection> Connections() const;

private:
    void Accept();
    void Relay(int client, std::size_t index);

    int m_targetPort;
    std::chrono::milliseconds m_delay;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<Connection> m_connections;
    std::vector<std::thread> m_threads;
    std::thread m_acceptor;
};

#endif
