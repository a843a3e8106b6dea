// Host name look-ups on threads of their own, each waited for only as long as its caller's time
// limit, and shared by the calls that ask for the same name while it runs.
#include "pop3/HostLookup.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

// A thread of the program's own on every platform rather than the systems' asynchronous
// look-ups: glibc's getaddrinfo_a runs each look-up on a thread of its own as well and cannot
// cancel one in progress, so the same bookkeeping would be needed around it, and it exists on
// glibc alone; GetAddrInfoExW's time-out needs Windows 8, and Wine ignores it and cannot cancel
// a look-up either. One thread per look-up keeps the limit alike everywhere, tests included.

namespace {

// One look-up, shared by its thread and the calls waiting for it; whichever lets go of it last
// frees it, so that an answer nobody waits for any more is freed when it comes.
struct RunningLookUp {
    bool answered = false;
    int found = 0;
    std::vector<TcpAddress> addresses;
};

// The look-ups running, by host name; the guard also covers what each of them holds.
struct LookUps {
    std::mutex guard;
    std::condition_variable answered;
    std::map<std::string, std::shared_ptr<RunningLookUp>> running;
};

// Never destroyed: a look-up left running at the program's exit may still come back to it
// after the static objects have gone.
LookUps& TheLookUps()
{
    static LookUps* lookUps = new LookUps;
    return *lookUps;
}

std::atomic<HostLookup> g_replacement{nullptr};

// The body of a look-up's own thread.
void RunLookUp(HostLookup lookup, const std::string& host, const std::shared_ptr<RunningLookUp>& lookUp)
{
    std::vector<TcpAddress> addresses;
    int found = lookup(host, addresses);
    LookUps& lookUps = TheLookUps();
    {
        std::lock_guard<std::mutex> lock(lookUps.guard);
        lookUp->found = found;
        lookUp->addresses = std::move(addresses);
        lookUp->answered = true;
        auto entry = lookUps.running.find(host);
        if (entry != lookUps.running.end() && entry->second == lookUp)
            lookUps.running.erase(entry);
    }
    lookUps.answered.notify_all();
}

}  // namespace

HostLookup ReplaceHostLookup(HostLookup lookup)
{
    return g_replacement.exchange(lookup);
}

int LookUpHost(const std::string& host, int timeLimitMilliseconds, std::vector<TcpAddress>& addresses)
{
    const auto limit = std::chrono::milliseconds(timeLimitMilliseconds > 0 ? timeLimitMilliseconds : 0);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    LookUps& lookUps = TheLookUps();
    std::unique_lock<std::mutex> lock(lookUps.guard);
    std::shared_ptr<RunningLookUp> lookUp;
    auto entry = lookUps.running.find(host);
    if (entry != lookUps.running.end()) {
        lookUp = entry->second;
    } else {
        if (lookUps.running.size() >= kMostLookUpsRunning)
            return 0;
        lookUp = std::make_shared<RunningLookUp>();
        HostLookup lookup = g_replacement.load();
        try {
            std::thread(RunLookUp, lookup != nullptr ? lookup : SystemHostLookup, host, lookUp).detach();
        } catch (const std::system_error&) {
            // No thread could be had: the connect fails as a failed look-up does.
            return 0;
        }
        lookUps.running.emplace(host, lookUp);
    }
    if (!lookUps.answered.wait_until(lock, deadline, [&lookUp] { return lookUp->answered; }) || !lookUp->found)
        return 0;
    addresses = lookUp->addresses;
    return 1;
}
