// Speed of reading messages: the summary lines of 20,000 mixed-charset headers and the viewer
// text of a 1 MB multipart message, beside Python's email package on the same messages in
// the same run (message_bench.py makes the corpus and times Python); then crafted messages
// that a slow reader would take quadratic time on, each at two sizes.
// Usage: message_bench [FOLDER]   (the corpus is written there; a temporary folder otherwise)
//        message_bench --crafted [KIB...]   (the crafted messages alone, at the given sizes)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "CraftedMessages.h"
#include "message/MessageText.h"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// headers.bin: each header as its length in decimal, LF, then its bytes.
std::vector<std::string> ReadHeaders(const std::string& path)
{
    const std::string data = ReadFile(path);
    std::vector<std::string> headers;
    std::size_t at = 0;
    while (at < data.size()) {
        const std::size_t lineEnd = data.find('\n', at);
        if (lineEnd == std::string::npos) break;
        const std::size_t length = std::stoul(data.substr(at, lineEnd - at));
        headers.push_back(data.substr(lineEnd + 1, length));
        at = lineEnd + 1 + length;
    }
    return headers;
}

std::size_t g_sink = 0;

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--crafted") {
        std::vector<std::size_t> sizes;
        for (int n = 2; n < argc; ++n) sizes.push_back(std::stoul(argv[n]) * 1024);
        return PrintCraftedTable(sizes.empty() ? std::vector<std::size_t>{256 * 1024, 512 * 1024} : sizes);
    }
    std::string folder;
    if (argc > 1) {
        folder = argv[1];
        std::filesystem::create_directories(folder);
    } else {
        char pattern[] = "/tmp/kelvor-message-bench-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }
    std::printf("Making the corpus and timing Python's email package (about a minute)...\n");
    const std::string command = std::string(KELVOR_PYTHON) + " " + KELVOR_BENCH_SCRIPT + " " + folder + " > " +
                                folder + "/python.txt";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        return 1;
    }
    std::map<std::string, std::string> python;
    {
        std::istringstream lines(ReadFile(folder + "/python.txt"));
        std::string key;
        std::string value;
        while (lines >> key >> value) python[key] = value;
    }

    const std::vector<std::string> headers = ReadHeaders(folder + "/headers.bin");
    const std::string message = ReadFile(folder + "/message.eml");
    std::size_t headerBytes = 0;
    for (const std::string& header : headers) headerBytes += header.size();

    // How many summary lines agree with Python's, as a check that both did the same work.
    std::istringstream expected(ReadFile(folder + "/summaries.sjis"));
    std::size_t agreeing = 0;
    for (const std::string& header : headers) {
        std::string line;
        std::getline(expected, line);
        const std::string ours = SummaryLine(header);
        if (ours == line) {
            ++agreeing;
        } else if (agreeing + 3 > headers.size() || std::getenv("KELVOR_BENCH_SHOW")) {
            std::printf("differs:\n  Kelvor %s\n  Python %s\n", ours.c_str(), line.c_str());
        }
    }

    const double summaries = BestSeconds([&] {
        for (const std::string& header : headers) g_sink += SummaryLine(header).size();
    }, 5);
    const double viewer = BestSeconds([&] { g_sink += ViewerText(message).size(); }, 20);
    const double pythonCompat32 = std::stod(python["summaries_compat32"]);
    const double pythonDefault = std::stod(python["summaries_default"]);
    const double pythonViewer = std::stod(python["viewer"]);

    std::printf("\nCorpus: %zu headers (%zu bytes), a %zu-byte multipart message; Python %s\n", headers.size(),
                headerBytes, message.size(), python["python"].c_str());
    std::printf("Summary lines agreeing with Python's email package: %zu of %zu\n\n", agreeing, headers.size());
    std::printf("| work | Kelvor | Python email | Kelvor faster by |\n|---|---|---|---|\n");
    std::printf("| 20,000 summary lines (Python: compat32 + decode_header) | %.1f ms | %.1f ms | %.0fx |\n",
                summaries * 1e3, pythonCompat32 * 1e3, pythonCompat32 / summaries);
    std::printf("| 20,000 summary lines (Python: policy.default) | %.1f ms | %.1f ms | %.0fx |\n",
                summaries * 1e3, pythonDefault * 1e3, pythonDefault / summaries);
    std::printf("| viewer text of the %.2f MB message | %.2f ms | %.1f ms | %.0fx |\n",
                static_cast<double>(message.size()) / 1e6, viewer * 1e3, pythonViewer * 1e3, pythonViewer / viewer);
    std::printf("\nper summary line: %.2f us (checksum %zu)\n", summaries / static_cast<double>(headers.size()) * 1e6,
                g_sink);
    if (argc <= 1) std::filesystem::remove_all(folder);
    std::printf("\n");
    return PrintCraftedTable({256 * 1024, 512 * 1024});
}
