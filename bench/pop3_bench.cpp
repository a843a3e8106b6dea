// POP3 benchmark: the client against a private Dovecot on 127.0.0.1 with 1,000 and 5,000
// messages, a check (Login, UIDL, Quit) and a full summary listing, one TOP after the other and
// with the TOP commands sent ahead, beside the same conversations done by Python's poplib in
// the same run, and the client's own CPU time. Then the listings once more through a relay
// that holds every chunk 10 ms each way (20 ms round trips), against loopback. Then the
// listing of 1,000 messages over TLS (POP3 over TLS and STLS), one TOP after the other and with
// the commands sent ahead as the program sends them, against the same server beside cleartext
// and poplib.POP3_SSL, and the time of a TLS handshake.
// Usage: pop3_bench [repetitions]   (prints three tables; needs dovecot-pop3d, python3 optional)
#include <sys/resource.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "DelayRelay.h"
#include "DovecotServer.h"
#include "TestMaildir.h"
#include "pop3/Pop3Client.h"
#include "pop3/Pop3Stream.h"
#include "pop3/UniqueIdSet.h"

namespace {

struct Timing {
    double wallMilliseconds;
    double userMilliseconds;    // the client's own code
    double systemMilliseconds;  // the kernel on the client's behalf: sockets, loopback, waking up
};

void CpuMillisecondsOfThisProcess(double& user, double& system)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    user = usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0;
    system = usage.ru_stime.tv_sec * 1000.0 + usage.ru_stime.tv_usec / 1000.0;
}

enum class Task { Check, Listing, ListingAhead };

const char* TaskName(Task task)
{
    switch (task) {
    case Task::Check:
        return "check";
    case Task::Listing:
        return "listing";
    case Task::ListingAhead:
        return "ahead";
    }
    return "?";
}

// One conversation: the check with its unique ids, or the login with a summary line for every
// message, with the TOP commands sent ahead where the task says so and the server allows.
// Returns false when the server refused something.
bool Converse(const std::string& address, const std::string& user, Task task, Timing& timing)
{
    double userBefore = 0;
    double systemBefore = 0;
    CpuMillisecondsOfThisProcess(userBefore, systemBefore);
    auto start = std::chrono::steady_clock::now();
    CPop3Client client;
    if (!client.Login(address, user, "secret"))
        return false;
    if (task == Task::Check) {
        CUniqueIdSet ids;
        if (client.UniqueIds(ids) != 1)
            return false;
    } else {
        if (task == Task::ListingAhead) {
            if (client.Capa() != 1)
                return false;
            client.PipelineSummaries(1, client.GetMessageCount());
            if (!client.SendsCommandsAhead())
                return false;
        }
        std::string line;
        for (int n = 1; n <= client.GetMessageCount(); ++n) {
            if (client.RetrieveSummary(n, line) != 1)
                return false;
        }
    }
    client.Quit();
    auto end = std::chrono::steady_clock::now();
    timing.wallMilliseconds = std::chrono::duration<double, std::milli>(end - start).count();
    double userAfter = 0;
    double systemAfter = 0;
    CpuMillisecondsOfThisProcess(userAfter, systemAfter);
    timing.userMilliseconds = userAfter - userBefore;
    timing.systemMilliseconds = systemAfter - systemBefore;
    return true;
}

// Modes: check, list (as the client does them) and handshake (connect and TLS alone). A CA
// file other than "-" means TLS, with that CA trusted.
const char kPoplibScript[] = R"(import poplib, socket, ssl, sys, time
host, port, user, password, mode, repetitions = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], int(sys.argv[6])
context = ssl.create_default_context(cafile=sys.argv[7]) if sys.argv[7] != "-" else None
for _ in range(repetitions):
    start = time.perf_counter()
    cpu_start = time.process_time()
    if mode == "handshake":
        context.wrap_socket(socket.create_connection((host, port)), server_hostname=host).close()
        print((time.perf_counter() - start) * 1000.0, (time.process_time() - cpu_start) * 1000.0)
        continue
    box = poplib.POP3_SSL(host, port, context=context) if context else poplib.POP3(host, port)
    box.user(user)
    box.pass_(password)
    count = box.stat()[0]
    box.noop()
    box.list()
    if mode == "check":
        box.uidl()
    if mode == "list":
        for n in range(1, count + 1):
            box.top(n, 0)
    box.quit()
    print((time.perf_counter() - start) * 1000.0, (time.process_time() - cpu_start) * 1000.0)
)";

// The median wall time of repetitions poplib conversations (mode check, list or handshake),
// or a negative value without Python; cpuMilliseconds gets the median of poplib's own CPU time
// (user and system). With a CA file the conversations run over TLS. poplib sends each command
// after the reply before it.
double PoplibMilliseconds(const std::string& python, const std::string& script, int port,
                          const std::string& user, const char* mode, int repetitions,
                          double& cpuMilliseconds, const std::string& caFile = "-")
{
    if (python.empty())
        return -1;
    std::string command = python + " " + script + " 127.0.0.1 " + std::to_string(port) + " " + user +
                          " secret " + mode + " " + std::to_string(repetitions) + " " + caFile;
    FILE* output = popen(command.c_str(), "r");
    if (output == nullptr)
        return -1;
    std::vector<double> times, cpuTimes;
    char line[128];
    while (std::fgets(line, sizeof line, output) != nullptr) {
        char* rest = nullptr;
        times.push_back(std::strtod(line, &rest));
        cpuTimes.push_back(std::strtod(rest, nullptr));
    }
    if (pclose(output) != 0 || times.empty())
        return -1;
    cpuMilliseconds = Median(cpuTimes);
    return Median(times);
}

std::string FindPython()
{
    for (const char* candidate : {"/usr/bin/python3", "python3"}) {
        std::string probe = std::string(candidate) + " -c 'import poplib' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0)
            return candidate;
    }
    return std::string();
}

// The time of connecting and completing a TLS handshake with the server, without the greeting.
double HandshakeMilliseconds(int port)
{
    auto start = std::chrono::steady_clock::now();
    CPop3Stream stream;
    TlsFailure failure = TlsFailure::None;
    std::string reason;
    if (!stream.Connect("127.0.0.1", port, 30000) ||
        !stream.StartTls("127.0.0.1", 30000, failure, reason)) {
        std::fprintf(stderr, "pop3_bench: no TLS handshake: %s\n", reason.c_str());
        return -1;
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The listing of 1,000 messages over cleartext, POP3 over TLS and STLS, by the client and by
// poplib, taking turns against the same server on the same address; then the handshake alone.
bool CompareTls(const CDovecotServer& server, const std::string& python, const std::string& script,
                int repetitions)
{
    const std::string user = "thousand";
    // Over TLS the client must trust the server's test CA, as poplib does with its cafile.
    setenv("SSL_CERT_FILE", server.CertificateAuthorityFile().c_str(), 1);
    struct Way {
        const char* name;
        std::string address;
        Task task;
        std::vector<double> wall, cpu;
    };
    const std::string tls = "pop3s://127.0.0.1:" + std::to_string(server.TlsPort());
    const std::string stls = "pop3+starttls://127.0.0.1:" + std::to_string(server.Port());
    // Each way is compared with the cleartext way of its task: the first of its group.
    std::vector<Way> ways = {
        {"client, cleartext", server.Address(), Task::Listing, {}, {}},
        {"client, pop3s://", tls, Task::Listing, {}, {}},
        {"client, pop3+starttls://", stls, Task::Listing, {}, {}},
        {"poplib.POP3", "", Task::Listing, {}, {}},
        {"poplib.POP3_SSL", "", Task::Listing, {}, {}},
        {"ahead, cleartext", server.Address(), Task::ListingAhead, {}, {}},
        {"ahead, pop3s://", tls, Task::ListingAhead, {}, {}},
        {"ahead, pop3+starttls://", stls, Task::ListingAhead, {}, {}},
    };
    for (int run = 0; run < repetitions; ++run) {
        for (Way& way : ways) {
            double wall = 0;
            double cpu = 0;
            if (!way.address.empty()) {
                Timing timing{};
                if (!Converse(way.address, user, way.task, timing)) {
                    std::fprintf(stderr, "pop3_bench: the listing over %s failed\n", way.address.c_str());
                    return false;
                }
                wall = timing.wallMilliseconds;
                cpu = timing.userMilliseconds + timing.systemMilliseconds;
            } else {
                bool tls = std::strcmp(way.name, "poplib.POP3_SSL") == 0;
                wall = PoplibMilliseconds(python, script, tls ? server.TlsPort() : server.Port(), user,
                                          "list", 1, cpu, tls ? server.CertificateAuthorityFile() : "-");
                if (wall <= 0)
                    continue;
            }
            way.wall.push_back(wall);
            way.cpu.push_back(cpu);
        }
    }
    std::vector<double> handshakes;
    for (int run = 0; run < repetitions * 4; ++run) {
        double milliseconds = HandshakeMilliseconds(server.TlsPort());
        if (milliseconds < 0)
            return false;
        handshakes.push_back(milliseconds);
    }
    double poplibHandshakeCpu = 0;
    double poplibHandshake = PoplibMilliseconds(python, script, server.TlsPort(), user, "handshake",
                                                repetitions * 4, poplibHandshakeCpu,
                                                server.CertificateAuthorityFile());

    std::printf("\nListing 1000 messages (login, 1000 TOP, quit) on 127.0.0.1, the same server\n");
    std::printf("%-26s %9s %9s %14s\n", "way", "wall ms", "CPU ms", "x cleartext");
    double cleartext = 0;
    for (std::size_t i = 0; i < ways.size(); ++i) {
        const Way& way = ways[i];
        if (i == 0 || way.task != ways[i - 1].task)
            cleartext = Median(way.wall);
        if (way.wall.empty())
            continue;
        std::printf("%-26s %9.1f %9.1f %14.2f\n", way.name, Median(way.wall), Median(way.cpu),
                    Median(way.wall) / cleartext);
    }
    std::printf("TLS handshake (connect to completed handshake): client %.2f ms", Median(handshakes));
    if (poplibHandshake > 0)
        std::printf(", Python ssl %.2f ms", poplibHandshake);
    std::printf("\nmedians of %d listings and %d handshakes; CPU: the client's own (getrusage) or "
                "poplib's process time;\nahead: the TOP commands sent ahead of their replies, as the "
                "program lists a server that names PIPELINING\n", repetitions, repetitions * 4);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::vector<std::pair<std::string, int>> mailboxes = {{"thousand", 1000}, {"fivethousand", 5000}};
    std::vector<TestMailbox> boxes;
    for (const auto& [user, count] : mailboxes)
        boxes.push_back({user, "secret", SmallMessages(count)});
    CDovecotServer server;
    std::string error;
    if (!server.Start(KELVOR_DOVECOT_SCRIPT, boxes, error, true)) {
        std::fprintf(stderr, "pop3_bench: %s\n", error.c_str());
        return 1;
    }
    std::string python = FindPython();
    std::string script = "/tmp/kelvor-poplib-bench.py";
    std::ofstream(script) << kPoplibScript;

    std::printf("%-8s %-8s %10s %10s %7s %9s %9s %9s %11s\n", "messages", "task", "client ms",
                "poplib ms", "ratio", "user ms", "system ms", "CPU/wall", "poplib CPU");
    for (const auto& [user, count] : mailboxes) {
        // The first conversation makes the server index the mailbox; it is not counted.
        Timing warmUp{};
        if (!Converse(server.Address(), user, Task::Listing, warmUp)) {
            std::fprintf(stderr, "pop3_bench: the conversation with %s failed\n", user.c_str());
            return 1;
        }
        for (Task task : {Task::Check, Task::Listing, Task::ListingAhead}) {
            const bool listAll = task != Task::Check;
            // Client and poplib take turns, so that a change in the machine's load falls on both.
            int runs = listAll ? repetitions : repetitions * 4;
            std::vector<double> wall, userCpu, systemCpu, cpuShare, poplib, poplibCpu;
            for (int run = 0; run < runs; ++run) {
                Timing timing{};
                if (!Converse(server.Address(), user, task, timing)) {
                    std::fprintf(stderr, "pop3_bench: the conversation with %s failed\n", user.c_str());
                    return 1;
                }
                wall.push_back(timing.wallMilliseconds);
                userCpu.push_back(timing.userMilliseconds);
                systemCpu.push_back(timing.systemMilliseconds);
                cpuShare.push_back(100.0 * (timing.userMilliseconds + timing.systemMilliseconds) /
                                   timing.wallMilliseconds);
                double poplibCpuMs = 0;
                double poplibMs = PoplibMilliseconds(python, script, server.Port(), user,
                                                     listAll ? "list" : "check", 1, poplibCpuMs);
                if (poplibMs > 0) {
                    poplib.push_back(poplibMs);
                    poplibCpu.push_back(100.0 * poplibCpuMs / poplibMs);
                }
            }
            double clientMs = Median(wall);
            char poplibText[32] = "-";
            char ratioText[32] = "-";
            char poplibCpuText[32] = "-";
            if (!poplib.empty()) {
                std::snprintf(poplibCpuText, sizeof poplibCpuText, "%.1f%%", Median(poplibCpu));
                std::snprintf(poplibText, sizeof poplibText, "%.1f", Median(poplib));
                std::snprintf(ratioText, sizeof ratioText, "%.2f", clientMs / Median(poplib));
            }
            std::printf("%-8d %-8s %10.1f %10s %7s %9.1f %9.1f %8.1f%% %11s\n", count,
                        TaskName(task), clientMs, poplibText, ratioText,
                        Median(userCpu), Median(systemCpu), Median(cpuShare), poplibCpuText);
        }
    }
    if (python.empty())
        std::printf("(no python3 with poplib found: the poplib column is empty)\n");
    std::printf("medians of %d listings and %d checks; ratio = client / poplib (below 1: faster);\n"
                "listing: one TOP after the other; ahead: TOP commands sent ahead of their replies;\n"
                "user and system: the client's CPU time from getrusage; CPU/wall: both over the wall time;\n"
                "poplib CPU: poplib's process time over its wall time\n\n",
                repetitions, repetitions * 4);

    // The same listings over a link with 20 ms round trips. Sequential listings there take a
    // round trip per message, so they run once; the others take the median of repetitions.
    CDelayRelay relay(server.Port(), 10);
    if (relay.Port() == 0) {
        std::fprintf(stderr, "pop3_bench: the relay could not listen\n");
        return 1;
    }
    std::printf("%-8s %-10s %14s %13s %10s\n", "messages", "link", "one by one ms", "ahead ms", "poplib ms");
    for (const auto& [user, count] : mailboxes) {
        for (int delay : {0, 10}) {
            const int port = delay == 0 ? server.Port() : relay.Port();
            const std::string address = "127.0.0.1:" + std::to_string(port);
            const int slowRuns = delay == 0 ? repetitions : 1;
            double medians[2] = {0, 0};
            for (Task task : {Task::Listing, Task::ListingAhead}) {
                std::vector<double> wall;
                int runs = task == Task::Listing ? slowRuns : repetitions;
                for (int run = 0; run < runs; ++run) {
                    Timing timing{};
                    if (!Converse(address, user, task, timing)) {
                        std::fprintf(stderr, "pop3_bench: the listing of %s failed\n", user.c_str());
                        return 1;
                    }
                    wall.push_back(timing.wallMilliseconds);
                }
                medians[task == Task::Listing ? 0 : 1] = Median(wall);
            }
            double poplibCpuMs = 0;
            double poplibMs = PoplibMilliseconds(python, script, port, user, "list", slowRuns, poplibCpuMs);
            char poplibText[32] = "-";
            if (poplibMs > 0)
                std::snprintf(poplibText, sizeof poplibText, "%.1f", poplibMs);
            std::printf("%-8d %-10s %14.1f %13.1f %10s\n", count, delay == 0 ? "loopback" : "20 ms RTT",
                        medians[0], medians[1], poplibText);
        }
    }
    std::printf("20 ms RTT: through a relay that holds each chunk 10 ms each way; the one-by-one\n"
                "listing and poplib run once there, everything else takes the median of %d runs\n",
                repetitions);
    if (!CompareTls(server, python, script, repetitions))
        return 1;
    std::remove(script.c_str());
    return 0;
}
