// Crafted messages that a reader which searches the rest of the text again and again takes
// quadratic time on, timed at several sizes: unclosable encoded words, HTML whose tags,
// references and dropped elements never end, text that Shift_JIS cannot hold, a long boundary.
#include "CraftedMessages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "message/MessageText.h"

namespace {

struct Shape {
    const char* what;
    bool viewer;  // the viewer text; the summary line otherwise
    std::function<std::string(std::size_t)> make;
};

// `unit` repeated until the text has at least `size` bytes.
std::string Repeated(const std::string& unit, std::size_t size)
{
    std::string text;
    text.reserve(size + unit.size());
    while (text.size() < size) text += unit;
    return text;
}

std::string Mime(const std::string& contentType, const std::string& body)
{
    return "MIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + body;
}

void AppendUtf8(char32_t c, std::string& text)
{
    if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    text += static_cast<char>(0x80 | (c & 0x3F));
}

// Lines of 40 characters cycling through `count` code points from `first`, in UTF-8.
std::string Utf8Lines(char32_t first, unsigned count, std::size_t size)
{
    std::string text;
    text.reserve(size + 64);
    for (unsigned n = 0; text.size() < size; ++n) {
        AppendUtf8(first + n % count, text);
        if (n % 40 == 39) text += "\r\n";
    }
    return text;
}

const Shape kShapes[] = {
    {"Subject of `=?a?B?x` repeated", false,
     [](std::size_t size) { return "Subject: " + Repeated("=?a?B?x", size) + "\r\n\r\n"; }},
    {"Subject of `=?utf-8?Q?abc ` repeated", false,
     [](std::size_t size) { return "Subject: " + Repeated("=?utf-8?Q?abc ", size) + "\r\n\r\n"; }},
    {"From folded into lines of `=?x?Q?y`", false,
     [](std::size_t size) { return "From: " + Repeated("=?x?Q?y\r\n ", size) + "x\r\n\r\n"; }},
    {"Subject of words in two charsets by turns", false,
     [](std::size_t size) {
         return "Subject: " + Repeated("=?koi8-r?B?wQ==?= =?iso-8859-5?B?0A==?= ", size) + "\r\n\r\n";
     }},
    {"HTML of `< ` repeated", true,
     [](std::size_t size) { return Mime("text/html; charset=utf-8", Repeated("< ", size)); }},
    {"HTML of `<` repeated", true,
     [](std::size_t size) { return Mime("text/html; charset=utf-8", Repeated("<", size)); }},
    {"HTML of `&` repeated (no `;`)", true,
     [](std::size_t size) { return Mime("text/html; charset=utf-8", Repeated("&", size)); }},
    {"HTML of `<head><body>` repeated", true,
     [](std::size_t size) { return Mime("text/html; charset=utf-8", Repeated("<head><body>", size)); }},
    {"UTF-8 part of bytes that are not UTF-8", true,
     [](std::size_t size) { return Mime("text/plain; charset=utf-8", Repeated("\xff", size)); }},
    {"EUC-KR part of lead bytes without their trail bytes", true,
     [](std::size_t size) { return Mime("text/plain; charset=euc-kr", Repeated("\xb0 ", size)); }},
    {"UTF-8 part of Korean", true,
     [](std::size_t size) { return Mime("text/plain; charset=utf-8", Utf8Lines(0xAC00, 11172, size)); }},
    {"UTF-8 part of emoji", true,
     [](std::size_t size) { return Mime("text/plain; charset=utf-8", Utf8Lines(0x1F600, 80, size)); }},
    {"multipart whose boundary is a quarter of the message", true,
     [](std::size_t size) {
         return "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"" + std::string(size / 4, '-') +
                "\"\r\n\r\n" + std::string(size - size / 4, '-');
     }},
};

std::size_t g_sink = 0;

// Seconds of one reading: a single run for a slow one, the best of several for a quick one.
double Seconds(const std::function<void()>& work)
{
    using Clock = std::chrono::steady_clock;
    double best = 1e30;
    double spent = 0;
    for (int runs = 0; runs < 20 && spent < 1.0; ++runs) {
        const auto before = Clock::now();
        work();
        const double seconds = std::chrono::duration<double>(Clock::now() - before).count();
        best = std::min(best, seconds);
        spent += seconds;
    }
    return best;
}

std::string Duration(double seconds)
{
    char text[32];
    if (seconds >= 1) {
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    } else {
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    }
    return text;
}

}  // namespace

int PrintCraftedTable(const std::vector<std::size_t>& sizes)
{
    std::printf("Crafted messages (the size is that of the crafted field or body)\n\n| shape | reader |");
    for (std::size_t size : sizes) std::printf(" %zu KiB |", size / 1024);
    std::printf(" ratio of the last two |\n|---|---|");
    for (std::size_t n = 0; n <= sizes.size(); ++n) std::printf("---|");
    std::printf("\n");
    for (const Shape& shape : kShapes) {
        std::printf("| %s | %s |", shape.what, shape.viewer ? "ViewerText" : "SummaryLine");
        std::fflush(stdout);
        std::vector<double> times;
        for (std::size_t size : sizes) {
            const std::string message = shape.make(size);
            times.push_back(Seconds([&] {
                g_sink += shape.viewer ? ViewerText(message).size() : SummaryLine(message).size();
            }));
            std::printf(" %s |", Duration(times.back()).c_str());
            std::fflush(stdout);
        }
        if (times.size() >= 2) {
            std::printf(" %.2fx |", times.back() / times[times.size() - 2]);
        }
        std::printf("\n");
    }
    std::printf("\n(checksum %zu)\n", g_sink);
    return 0;
}
