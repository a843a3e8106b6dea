// How long a login takes when the name look-up gets no answer: logs in once to each server text
// given, with the time limit given, and prints the time each took and how it ended. Run inside
// bench/silent-name-servers, where the name servers never answer.
// Usage: lookup_bench LIMIT-MILLISECONDS SERVER...   (e.g. 5000 pop.example.test pop3s://pop.example.test)
#ifdef _WIN32
#include <winsock2.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pop3/Pop3Client.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: lookup_bench LIMIT-MILLISECONDS SERVER...\n");
        return 2;
    }
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    const int limit = std::atoi(argv[1]);
    for (int i = 2; i < argc; ++i) {
        CPop3Client client;
        client.SetTimeLimit(limit);
        auto start = std::chrono::steady_clock::now();
        int loggedIn = client.Login(argv[i], "bench", "bench");
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        // The error text begins in Japanese; its English part in brackets is printed.
        std::string text = client.GetErrorText();
        std::size_t bracket = text.find('(');
        std::printf("%-32s limit %5.1f s: %s after %5.1f s\n", argv[i], limit / 1000.0,
                    loggedIn ? "logged in" : bracket == std::string::npos ? text.c_str() : text.c_str() + bracket,
                    took.count());
        client.Quit();
    }
    return 0;
}
