// Unique-id benchmark: what the ids of a large mailbox cost. A scripted server on 127.0.0.1
// answers UIDL with 50,000 ids of 70 bytes (the longest ids a server may give); the client
// takes them, and a second set is compared with the first, as a check does. Memory is counted
// by this program's own operator new: what the set holds, and the peak while UIDL is read.
// A hash set of strings holding the same ids is shown beside it.
// Usage: uid_bench [ids] [id bytes]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unordered_set>

#include "ScriptedPop3Server.h"
#include "pop3/Pop3Client.h"
#include "pop3/UniqueIdSet.h"

namespace {

std::atomic<long long> g_heapBytes{0};
std::atomic<long long> g_peakHeapBytes{0};

// Every block carries its size in front of it, so that delete knows what it gives back.
const std::size_t kHeader = alignof(std::max_align_t);

void* CountedAllocation(std::size_t size)
{
    void* block = std::malloc(size + kHeader);
    if (block == nullptr)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    long long now = g_heapBytes += static_cast<long long>(size);
    long long peak = g_peakHeapBytes.load();
    while (now > peak && !g_peakHeapBytes.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void CountedRelease(void* pointer)
{
    if (pointer == nullptr)
        return;
    void* block = static_cast<char*>(pointer) - kHeader;
    g_heapBytes -= static_cast<long long>(*static_cast<std::size_t*>(block));
    std::free(block);
}

double Milliseconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// An id of the given length for message n: digits of n, padded with letters.
std::string IdOf(int n, std::size_t length, char padding)
{
    std::string id = std::to_string(n);
    id.resize(std::max(length, id.size()), padding);
    return id;
}

double Megabytes(long long bytes)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

void* operator new(std::size_t size)
{
    return CountedAllocation(size);
}

void operator delete(void* pointer) noexcept
{
    CountedRelease(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept
{
    CountedRelease(pointer);
}

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50000;
    const std::size_t length = argc > 2 ? static_cast<std::size_t>(std::max(8, std::atoi(argv[2]))) : 70;

    std::string listing = "+OK\r\n";
    for (int n = 1; n <= count; ++n)
        listing += std::to_string(n) + " " + IdOf(n, length, 'a') + "\r\n";
    listing += ".\r\n";
    const std::string total = std::to_string(count);
    CScriptedPop3Server server;
    server.Reply("+OK\r\n")
        .Expect("USER u\r\n").Reply("+OK\r\n")
        .Expect("PASS p\r\n").Reply("+OK\r\n")
        .Expect("STAT \r\n").Reply("+OK " + total + " 0\r\n")
        .Expect("NOOP\r\n").Reply("+OK\r\n")
        .Expect("LIST \r\n").Reply("+OK\r\n.\r\n")
        .Expect("UIDL\r\n").Reply(listing);

    CUniqueIdSet last;
    long long heapBefore = 0;
    long long heapHeld = 0;
    long long peakWhileReading = 0;
    double readMs = 0;
    {
        CPop3Client client;
        if (client.Login(server.Address(), "u", "p") != 1) {
            std::fprintf(stderr, "uid_bench: login failed: %s\n", client.GetErrorText().c_str());
            return 1;
        }
        heapBefore = g_heapBytes;
        g_peakHeapBytes = heapBefore;
        auto start = std::chrono::steady_clock::now();
        if (client.UniqueIds(last) != 1) {
            std::fprintf(stderr, "uid_bench: the listing was not taken\n");
            return 1;
        }
        readMs = Milliseconds(start);
        peakWhileReading = g_peakHeapBytes - heapBefore;
        heapHeld = g_heapBytes - heapBefore;
    }

    // The next check: a tenth of the messages gone, as many new.
    CUniqueIdSet now;
    auto fillStart = std::chrono::steady_clock::now();
    now.Reserve(static_cast<std::size_t>(count), static_cast<std::size_t>(count) * length);
    for (int n = count / 10 + 1; n <= count + count / 10; ++n)
        now.Add(IdOf(n, length, 'a'));
    double fillMs = Milliseconds(fillStart);
    auto compareStart = std::chrono::steady_clock::now();
    std::size_t fresh = now.CountNotIn(last);
    double compareMs = Milliseconds(compareStart);

    long long beforeStrings = g_heapBytes;
    std::unordered_set<std::string> strings;
    for (int n = 1; n <= count; ++n)
        strings.insert(IdOf(n, length, 'a'));
    long long stringsHeld = g_heapBytes - beforeStrings;

    std::printf("%d ids of %zu bytes (%.1f MB of id bytes; the UIDL reply is %.1f MB)\n", count, length,
                Megabytes(static_cast<long long>(count) * static_cast<long long>(length)),
                Megabytes(static_cast<long long>(listing.size())));
    std::printf("%-44s %10s %10s\n", "", "MB", "ms");
    std::printf("%-44s %10.2f %10.1f\n", "UIDL read into the set, held afterwards", Megabytes(heapHeld), readMs);
    std::printf("%-44s %10.2f %10s\n", "  peak while reading (reply and set)", Megabytes(peakWhileReading), "-");
    std::printf("%-44s %10.2f %10s\n", "  the set's own count (MemoryBytes)", Megabytes(static_cast<long long>(last.MemoryBytes())), "-");
    std::printf("%-44s %10s %10.1f\n", "a second set filled id by id", "-", fillMs);
    std::printf("%-44s %10s %10.1f\n", "new ids counted against the first set", "-", compareMs);
    std::printf("%-44s %10.2f %10s\n", "for comparison: unordered_set<string>", Megabytes(stringsHeld), "-");
    std::printf("new ids found: %zu (expected %d)\n", fresh, count / 10);
    return fresh == static_cast<std::size_t>(count / 10) ? 0 : 1;
}
