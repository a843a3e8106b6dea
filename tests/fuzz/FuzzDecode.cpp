// Fuzzes the header text decoders with arbitrary bytes: encoded words, Base64,
// quoted-printable and the JIS conversion, alone and chained as the mail list chains them.
// Besides the sanitizers, it stops on any broken promise of the decoders' results.
#include "decode/EncodedWord.h"
#include "decode/JisToSjis.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Require(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "broken promise: %s\n", promise);
        std::abort();
    }
}

// A result is a text: it holds no zero byte, and no decoder makes a text longer.
void RequireTextNoLongerThan(const std::string& result, std::size_t inputLength, const char* what)
{
    Require(result.size() <= inputLength, what);
    Require(std::memchr(result.data(), 0, result.size()) == nullptr, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t length = std::strlen(input.c_str());
    const std::string text = input.substr(0, length);

    const std::string decoded = DecodeEncodedWords(input);
    RequireTextNoLongerThan(decoded, length, "decoded words no longer than their text");
    if (text.find("=?") == std::string::npos) {
        Require(decoded == text, "text without word openings is unchanged");
    }

    const std::string converted = ConvertJisToSjis(input);
    RequireTextNoLongerThan(converted, length, "converted text no longer than its input");
    if (text.find('\x1b') == std::string::npos) {
        Require(converted == text, "text without ESC is unchanged");
    }

    const std::string summary = ConvertJisToSjis(decoded);
    RequireTextNoLongerThan(summary, decoded.size(), "converted words no longer than their decoding");

    RequireTextNoLongerThan(DecodeBase64(input), length, "Base64 bytes no more than their characters");
    RequireTextNoLongerThan(DecodeQuotedPrintable(input), length, "quoted-printable bytes no more than their text");
    return 0;
}
