// Fuzzes reading a message: arbitrary bytes as a POP3 response and as a message, through the
// summary line and the viewer text, and through the charset conversion under every family of
// charsets. Besides the sanitizers, it stops on any broken promise of the results.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "decode/CharsetConversion.h"
#include "message/MessageText.h"

namespace {

void Require(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

bool HasZeroByte(const std::string& text)
{
    return std::memchr(text.data(), 0, text.size()) != nullptr;
}

const char* const kCharsets[] = {"UTF-8", "ISO-2022-JP", "Shift_JIS", "EUC-JP", "ISO-8859-1", "windows-1255",
                                 "KOI8-R", "GB18030", "Big5", "EUC-KR", "windows-1258", "x-unknown"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string message = UnstuffedMessage(input);
    Require(message.size() <= input.size(), "the message is no longer than its response");

    for (const std::string& text : {std::string(input), message}) {
        const std::string summary = SummaryLine(text);
        Require(!HasZeroByte(summary), "a summary line holds no zero byte");
        Require(summary.find_first_of("\r\n") == std::string::npos, "a summary line is one line");
        Require(summary.find(" : ") != std::string::npos, "a summary line joins two parts");

        const std::string viewer = ViewerText(text);
        Require(!HasZeroByte(viewer), "the viewer text holds no zero byte");
        for (std::size_t at = viewer.find('\n'); at != std::string::npos; at = viewer.find('\n', at + 1)) {
            Require(at > 0 && viewer[at - 1] == '\r', "viewer lines end in CR LF");
        }
    }

    if (size > 0) {
        std::string sjis;
        const char* charset = kCharsets[data[0] % (sizeof kCharsets / sizeof kCharsets[0])];
        const int known = ConvertCharsetToSjis(charset, input.substr(1), sjis);
        Require(known == (std::strcmp(charset, "x-unknown") != 0), "every charset but the unknown one is known");
    }
    return 0;
}
