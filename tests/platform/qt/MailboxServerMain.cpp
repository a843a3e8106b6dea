// A POP3 mailbox on 127.0.0.1 for the real-window test: prints its port, then takes a message
// count per line on standard input and serves that many messages from the next connection on;
// the line "commands" prints every command received so far to standard error. Ends at the end
// of its input.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "ScriptedPop3Server.h"

namespace {

std::vector<std::string> DemoMessages(int count) {
    std::vector<std::string> messages;
    for (int number = 1; number <= count; ++number) {
        messages.push_back("From: sender" + std::to_string(number) + "@example.jp\r\n"
                           "Subject: message " + std::to_string(number) + "\r\n"
                           "\r\n"
                           "Body of message " + std::to_string(number) + ".\r\n");
    }
    return messages;
}

}  // namespace

int main() {
    CScriptedPop3Server server;
    if (!server.Failures().empty()) {
        std::cerr << server.Failures() << '\n';
        return 1;
    }
    std::cout << server.Port() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "commands") {
            for (const std::string& command : server.Commands())
                std::cerr << command << '\n';
            std::cerr.flush();
            continue;
        }
        char* end = nullptr;
        long count = std::strtol(line.c_str(), &end, 10);
        if (end == line.c_str() || count < 0 || count > 1000) {
            std::cerr << "not a message count: " << line << '\n';
            continue;
        }
        server.SetMessages(DemoMessages(static_cast<int>(count)));
    }
    return 0;
}
