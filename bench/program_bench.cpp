// Program benchmark: the whole program's listing as a user meets it, from the click on
// "リストを表示" to the end of the conversation, for 1,000 and 5,000 messages in a private
// Dovecot, on loopback and behind a relay with 20 ms round trips.
//   Linux: the Qt program on a virtual display (Xvfb), clicked with xdotool; the end is when
//   it closes its connection, as the relay in front of the server sees it (on loopback a relay
//   that holds nothing back).
//   Windows: kelvor.exe under Wine, driven by program_list_driver, which sends the button's
//   command and times it to the end of the program's handler.
// With --screenshots, pictures of the screen land in that folder: for the Linux program every
// 100 ms of the first listing of each kind and after it, for the Windows program after it.
// Usage: program_bench [--presses N] [--messages 1000|5000] [--link loopback|slow]
//                      [--screenshots DIR] [--linux KELVOR] [--windows WINE DRIVER KELVOR.EXE]
//        (Wine's own settings, such as WINEPREFIX, come from the environment)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchTiming.h"
#include "DelayRelay.h"
#include "DovecotServer.h"
#include "TestMaildir.h"

namespace {

using Clock = CDelayRelay::Clock;

// The button "リストを表示" in the Qt window's layout: its middle, in window coordinates.
const char kListButtonPosition[] = "314 76";
const int kLongestListingSeconds = 600;

struct Mailbox {
    const char* user;
    int messages;
};
const Mailbox kMailboxes[] = {{"thousand", 1000}, {"fivethousand", 5000}};

// Starts a program with extra environment variables; its output goes to /dev/null unless
// outputFd is given, which then becomes its descriptor 3. The process id, or -1.
pid_t Start(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            int outputFd = -1)
{
    std::fflush(stdout);
    pid_t child = fork();
    if (child != 0)
        return child;
    for (const std::string& variable : environment)
        putenv(const_cast<char*>(variable.c_str()));
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    if (outputFd >= 0)
        dup2(outputFd, 3);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

void Stop(pid_t process)
{
    if (process <= 0)
        return;
    kill(process, SIGTERM);
    waitpid(process, nullptr, 0);
}

// The first line a shell command prints.
std::string FirstLine(const std::string& command)
{
    FILE* output = popen(command.c_str(), "r");
    if (output == nullptr)
        return std::string();
    char line[256] = {};
    if (std::fgets(line, sizeof line, output) == nullptr)
        line[0] = '\0';
    pclose(output);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

// A virtual display of its own; stops it when it goes.
class CDisplay {
public:
    CDisplay()
    {
        int pipe[2];
        if (::pipe(pipe) != 0)
            return;
        m_process = Start({"Xvfb", "-displayfd", "3", "-screen", "0", "800x600x24", "-nolisten", "tcp"}, {},
                          pipe[1]);
        close(pipe[1]);
        // Xvfb writes its display number and a line end once it is ready.
        std::string number;
        char digit = 0;
        while (read(pipe[0], &digit, 1) == 1 && digit != '\n')
            number += digit;
        close(pipe[0]);
        if (!number.empty())
            m_name = ":" + number;
    }
    ~CDisplay() { Stop(m_process); }
    CDisplay(const CDisplay&) = delete;
    CDisplay& operator=(const CDisplay&) = delete;

    const std::string& Name() const { return m_name; }

private:
    pid_t m_process = -1;
    std::string m_name;
};

// A picture of the whole display, when a folder for pictures was given.
void Screenshot(const CDisplay& display, const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return;
    std::string command = "import -display " + display.Name() + " -window root '" + folder + "/" + name + ".png'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "program_bench: no picture %s\n", name.c_str());
}

// Takes the pictures that program_list_driver asks for by leaving "<name>.request" in the
// folder, until it is stopped.
class CScreenshotWatcher {
public:
    CScreenshotWatcher(const CDisplay& display, std::string folder)
    {
        if (folder.empty())
            return;
        m_thread = std::thread([this, &display, folder] {
            while (!m_stopping) {
                for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                    if (entry.path().extension() != ".request")
                        continue;
                    Screenshot(display, folder, entry.path().stem().string());
                    std::filesystem::remove(entry.path());
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
    }
    ~CScreenshotWatcher()
    {
        m_stopping = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    CScreenshotWatcher(const CScreenshotWatcher&) = delete;
    CScreenshotWatcher& operator=(const CScreenshotWatcher&) = delete;

private:
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

// Waits until the relay has seen one more connection end than before; the time it ended.
bool WaitForConversationEnd(const CDelayRelay& relay, std::size_t connectionsBefore, Clock::time_point& end)
{
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(kLongestListingSeconds);
    while (Clock::now() < giveUp) {
        std::vector<CDelayRelay::Connection> connections = relay.Connections();
        if (connections.size() > connectionsBefore &&
            connections[connectionsBefore].clientClosed != Clock::time_point()) {
            end = connections[connectionsBefore].clientClosed;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// The Linux program's listing of one mailbox through one relay, presses times: the
// milliseconds from each click to the end of its conversation.
std::vector<double> TimeLinuxProgram(const std::string& program, const CDisplay& display,
                                     const CDelayRelay& relay, const Mailbox& mailbox, int presses,
                                     const std::string& screenshots, const std::string& name)
{
    std::vector<double> times;
    std::string folder = (std::filesystem::temp_directory_path() / "kelvor-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr)
        return times;
    std::filesystem::create_directories(folder + "/config");
    std::filesystem::create_directories(folder + "/runtime");
    std::filesystem::permissions(folder + "/runtime", std::filesystem::perms::owner_all);
    std::ofstream(folder + "/config/kelvor.INI")
        << "[Settings]\nINT=60\nPOP=127.0.0.1:" << relay.Port() << "\nUSR=" << mailbox.user
        << "\nPWD=secret\nPUP=0\n";
    const std::string displayVariable = "DISPLAY=" + display.Name();
    pid_t process = Start({program}, {displayVariable, "XDG_CONFIG_HOME=" + folder + "/config",
                                      "XDG_RUNTIME_DIR=" + folder + "/runtime"});
    const std::string xdotool = "DISPLAY=" + display.Name() + " xdotool";
    const std::string window = FirstLine("DISPLAY=" + display.Name() +
                                         " timeout 60 xdotool search --sync --onlyvisible --name '^Kelvor$'");
    if (!window.empty()) {
        for (int press = 0; press < presses; ++press) {
            const std::size_t before = relay.Connections().size();
            const Clock::time_point click = Clock::now();
            if (std::system((xdotool + " mousemove --window " + window + " " + kListButtonPosition +
                             " click 1").c_str()) != 0)
                break;
            std::atomic<bool> listing{true};
            std::thread during;
            if (press == 0 && !screenshots.empty()) {
                during = std::thread([&] {
                    for (int at = 100; listing; at += 100) {
                        std::this_thread::sleep_until(click + std::chrono::milliseconds(at));
                        if (listing)
                            Screenshot(display, screenshots, name + "-at-" + std::to_string(at) + "ms");
                    }
                });
            }
            Clock::time_point end;
            const bool ended = WaitForConversationEnd(relay, before, end);
            listing = false;
            if (during.joinable())
                during.join();
            if (!ended)
                break;
            times.push_back(std::chrono::duration<double, std::milli>(end - click).count());
            if (press == 0)
                Screenshot(display, screenshots, name + "-listed");
            // The program shows the finished list before the next click.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    } else {
        std::fprintf(stderr, "program_bench: no window titled Kelvor\n");
    }
    Stop(process);
    std::filesystem::remove_all(folder);
    return times;
}

// The Windows program's listing, timed by the driver under Wine.
std::vector<double> TimeWindowsProgram(const std::string& wine, const std::string& driver,
                                       const std::string& program, const CDisplay& display,
                                       const CDelayRelay& relay, const Mailbox& mailbox, int presses)
{
    std::vector<double> times;
    const std::string command = "DISPLAY=" + display.Name() + " '" + wine + "' '" + driver + "' '" + program +
                                "' 127.0.0.1:" + std::to_string(relay.Port()) + " " + mailbox.user + " secret " +
                                std::to_string(mailbox.messages) + " " + std::to_string(presses);
    FILE* output = popen(command.c_str(), "r");
    if (output == nullptr)
        return times;
    char line[64];
    while (std::fgets(line, sizeof line, output) != nullptr)
        times.push_back(std::strtod(line, nullptr));
    pclose(output);
    return times;
}

}  // namespace

int main(int argc, char** argv)
{
    int presses = 3;
    int onlyMessages = 0;
    std::string onlyLink;
    std::string screenshots;
    std::string linuxProgram;
    std::string wine;
    std::string driver;
    std::string windowsProgram;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--presses" && i + 1 < argc) {
            presses = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--messages" && i + 1 < argc) {
            onlyMessages = std::atoi(argv[++i]);
        } else if (option == "--link" && i + 1 < argc) {
            onlyLink = argv[++i];
        } else if (option == "--screenshots" && i + 1 < argc) {
            screenshots = std::filesystem::absolute(argv[++i]).string();
            std::filesystem::create_directories(screenshots);
        } else if (option == "--linux" && i + 1 < argc) {
            linuxProgram = argv[++i];
        } else if (option == "--windows" && i + 3 < argc) {
            wine = argv[++i];
            driver = argv[++i];
            windowsProgram = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--presses N] [--messages 1000|5000] [--link loopback|slow]\n"
                         "       [--screenshots DIR] [--linux KELVOR] [--windows WINE DRIVER KELVOR.EXE]\n",
                         argv[0]);
            return 2;
        }
    }

    std::vector<TestMailbox> boxes;
    for (const Mailbox& mailbox : kMailboxes)
        boxes.push_back({mailbox.user, "secret", SmallMessages(mailbox.messages)});
    CDovecotServer server;
    std::string error;
    if (!server.Start(KELVOR_DOVECOT_SCRIPT, boxes, error)) {
        std::fprintf(stderr, "program_bench: %s\n", error.c_str());
        return 1;
    }
    CDisplay display;
    if (display.Name().empty()) {
        std::fprintf(stderr, "program_bench: Xvfb did not start\n");
        return 1;
    }
    CDelayRelay loopback(server.Port(), 0);
    CDelayRelay slowLink(server.Port(), 10);
    if (!screenshots.empty())
        setenv("KELVOR_SCREENSHOT_DIR", screenshots.c_str(), 1);
    CScreenshotWatcher watcher(display, screenshots);

    std::printf("%-8s %-8s %-10s %12s   %s\n", "program", "messages", "link", "median ms", "each press, ms");
    struct Link {
        const CDelayRelay& relay;
        const char* option;   // its name after --link
        const char* picture;  // its part of the pictures' names
        const char* label;    // its name in the table
    };
    const Link links[] = {{loopback, "loopback", "loopback", "loopback"}, {slowLink, "slow", "20ms", "20 ms RTT"}};
    for (const bool isLinux : {true, false}) {
        if (isLinux ? linuxProgram.empty() : wine.empty())
            continue;
        for (const Mailbox& mailbox : kMailboxes) {
            for (const Link& link : links) {
                if ((onlyMessages != 0 && onlyMessages != mailbox.messages) ||
                    (!onlyLink.empty() && onlyLink != link.option))
                    continue;
                const std::string name = "linux-" + std::to_string(mailbox.messages) + "-" + link.picture;
                std::vector<double> times =
                    isLinux ? TimeLinuxProgram(linuxProgram, display, link.relay, mailbox, presses, screenshots, name)
                            : TimeWindowsProgram(wine, driver, windowsProgram, display, link.relay, mailbox, presses);
                std::string each;
                for (double time : times)
                    each += std::to_string(static_cast<long long>(time + 0.5)) + " ";
                std::printf("%-8s %-8d %-10s %12.0f   %s\n", isLinux ? "Linux" : "Windows", mailbox.messages,
                            link.label, Median(times), times.empty() ? "(failed)" : each.c_str());
                std::fflush(stdout);
            }
        }
    }
    std::printf("from the click to the end of the conversation; loopback through a relay that holds\n"
                "nothing back, 20 ms RTT through one that holds each chunk 10 ms each way\n");
    return 0;
}
