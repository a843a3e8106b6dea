// MIME encoded words (RFC 2047) of the seven known openings, with the Base64 and
// quoted-printable decoders they use. One forward pass per call, one output allocation.
#include "decode/EncodedWord.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// The byte values of Base64Value for all 256 bytes, so that decoding a group is four loads.
constexpr std::array<std::uint8_t, 256> MakeBase64Values()
{
    std::array<std::uint8_t, 256> values{};
    for (int byte = 0; byte < 256; ++byte) {
        int value = byte;  // a byte outside the alphabet stands for itself
        if (byte >= 'A' && byte <= 'Z') {
            value = byte - 'A';
        } else if (byte >= 'a' && byte <= 'z') {
            value = byte - 'a' + 26;
        } else if (byte >= '0' && byte <= '9') {
            value = byte - '0' + 52;
        } else if (byte == '+') {
            value = 62;
        } else if (byte == '/') {
            value = 63;
        }
        values[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(value);
    }
    return values;
}

constexpr std::array<std::uint8_t, 256> kBase64Values = MakeBase64Values();

enum class Encoding { Base64, QuotedPrintable };

struct Opening {
    std::string_view text;  // lower case; letters match either case
    Encoding encoding;
};

// Tested in this order; none is the start of another, so the first match is the only one.
constexpr std::array<Opening, 7> kOpenings = {{
    {"=?us-ascii?q?", Encoding::QuotedPrintable},
    {"=?us-ascii?b?", Encoding::Base64},
    {"=?iso-8859-1?q?", Encoding::QuotedPrintable},
    {"=?iso-8859-2?q?", Encoding::QuotedPrintable},
    {"=?iso-8859-1?b?", Encoding::Base64},
    {"=?iso-8859-2?b?", Encoding::Base64},
    {"=?iso-2022-jp?b?", Encoding::Base64},
}};

constexpr std::size_t kShortestOpening = 13;

// Room past the longest possible output, for stores that run ahead of what is kept.
constexpr std::size_t kOutputRoom = 16;

// A text ends at its first zero byte, wherever the string's own length says it ends.
std::size_t TextLength(const std::string& text)
{
    const void* zero = std::memchr(text.data(), 0, text.size());
    return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()) : text.size();
}

// Openings are compared as two 8-byte words: letters are folded to lower case by setting
// their case bit, and only ASCII letters fold, so a byte such as CR cannot pass for "-"
// although the two differ in the case bit alone.
struct OpeningPattern {
    std::uint64_t bytes[2];  // the opening in lower case, zero past its end
    std::uint64_t fold[2];   // 0x20 at the positions of letters
    std::uint64_t mask[2];   // 0xFF at the positions the opening covers
    std::size_t length;
    Encoding encoding;
};

using Word16 = std::array<std::array<unsigned char, 8>, 2>;

constexpr std::array<OpeningPattern, kOpenings.size()> MakeOpeningPatterns()
{
    std::array<OpeningPattern, kOpenings.size()> patterns{};
    for (std::size_t n = 0; n < kOpenings.size(); ++n) {
        Word16 bytes{};
        Word16 fold{};
        Word16 mask{};
        const std::string_view text = kOpenings[n].text;
        for (std::size_t k = 0; k < text.size(); ++k) {
            const char c = text[k];
            bytes[k / 8][k % 8] = static_cast<unsigned char>(c);
            fold[k / 8][k % 8] = (c >= 'a' && c <= 'z') ? 0x20 : 0;
            mask[k / 8][k % 8] = 0xFF;
        }
        for (std::size_t half = 0; half < 2; ++half) {
            // The same byte order as a word loaded from memory, whatever the machine.
            patterns[n].bytes[half] = std::bit_cast<std::uint64_t>(bytes[half]);
            patterns[n].fold[half] = std::bit_cast<std::uint64_t>(fold[half]);
            patterns[n].mask[half] = std::bit_cast<std::uint64_t>(mask[half]);
        }
        patterns[n].length = text.size();
        patterns[n].encoding = kOpenings[n].encoding;
    }
    return patterns;
}

constexpr std::array<OpeningPattern, kOpenings.size()> kOpeningPatterns = MakeOpeningPatterns();

// The length of the opening that starts at `at`, or 0 when none does; only `available`
// bytes are looked at, so a cut-short opening is never read past the end of the text.
std::size_t MatchOpeningAt(const unsigned char* at, std::size_t available, Encoding& encoding)
{
    if (available < kShortestOpening || at[1] != '?') {
        return 0;
    }
    std::uint64_t words[2];
    if (available >= sizeof words) {
        std::memcpy(words, at, sizeof words);
    } else {
        // Near the end of the text only the bytes that exist are read; the rest stay zero.
        unsigned char head[sizeof words] = {};
        std::memcpy(head, at, available);
        std::memcpy(words, head, sizeof words);
    }
    for (const OpeningPattern& opening : kOpeningPatterns) {
        if (opening.length <= available &&
            ((words[0] | opening.fold[0]) & opening.mask[0]) == opening.bytes[0] &&
            ((words[1] | opening.fold[1]) & opening.mask[1]) == opening.bytes[1]) {
            encoding = opening.encoding;
            return opening.length;
        }
    }
    return 0;
}

// The first "=?" at or after `from`, or `end`. Every opening starts with these two bytes.
const unsigned char* FindWordStart(const unsigned char* from, const unsigned char* end)
{
    const unsigned char* p = from;
    while (end - p >= 2) {
        const void* found = std::memchr(p, '=', static_cast<std::size_t>(end - p - 1));
        if (!found) {
            break;
        }
        p = static_cast<const unsigned char*>(found);
        if (p[1] == '?') {
            return p;
        }
        ++p;
    }
    return end;
}

// Appends the bytes of one group of four Base64 characters, up to the first zero byte
// among them. Values above 63 spill into the neighbouring bits on purpose. All three bytes
// are stored and only the kept ones counted, so `out` needs three bytes of room.
inline char* AppendBase64Group(const unsigned char* group, char* out)
{
    const std::uint32_t bits = (std::uint32_t{kBase64Values[group[0]]} << 18) |
                               (std::uint32_t{kBase64Values[group[1]]} << 12) |
                               (std::uint32_t{kBase64Values[group[2]]} << 6) |
                               std::uint32_t{kBase64Values[group[3]]};
    const std::uint32_t first = (bits >> 16) & 0xFF;
    const std::uint32_t second = (bits >> 8) & 0xFF;
    const std::uint32_t third = bits & 0xFF;
    out[0] = static_cast<char>(first);
    out[1] = static_cast<char>(second);
    out[2] = static_cast<char>(third);
    const std::size_t kept = (first != 0) * (1 + (second != 0) * (1 + (third != 0)));
    return out + kept;
}

// Decodes `length` Base64 characters (no zero byte among them) into `out`, which must hold
// `length` + 3 bytes; returns the end of the decoded bytes.
char* DecodeBase64Into(const unsigned char* text, std::size_t length, char* out)
{
    while (length > 0 && text[length - 1] == '=') {
        --length;
    }
    std::size_t offset = 0;
    for (; offset + 4 <= length; offset += 4) {
        out = AppendBase64Group(text + offset, out);
    }
    if (offset < length) {
        // Positions past the end of the text count as zero bytes.
        unsigned char last[4] = {0, 0, 0, 0};
        std::memcpy(last, text + offset, length - offset);
        out = AppendBase64Group(last, out);
    }
    return out;
}

// One hexadecimal digit in 8-bit signed arithmetic, unchecked: bytes outside the digits
// give whatever the subtraction yields, and a missing digit (zero) gives 0xD0.
inline unsigned DigitValue(unsigned char byte)
{
    const int signedByte = static_cast<signed char>(byte);
    int value;
    if (signedByte >= 0x61) {
        value = signedByte - 0x57;
    } else if (signedByte >= 0x41) {
        value = signedByte - 0x37;
    } else {
        value = signedByte - 0x30;
    }
    return static_cast<unsigned>(value) & 0xFF;
}

// Decodes `length` quoted-printable bytes (no zero byte among them) into `out`, which must
// hold `length` bytes; returns the end of what was written.
char* DecodeQuotedPrintableInto(const unsigned char* text, std::size_t length, char* out)
{
    std::size_t i = 0;
    while (i < length) {
        if (text[i] != '=') {
            *out++ = static_cast<char>(text[i]);
            ++i;
            continue;
        }
        // Digits cut off by the end of the text count as zero bytes; they are never read.
        const unsigned char high = i + 1 < length ? text[i + 1] : 0;
        const unsigned char low = i + 2 < length ? text[i + 2] : 0;
        // The low digit is not masked to four bits: its high bits land in the byte too.
        const unsigned byte = ((DigitValue(high) << 4) | DigitValue(low)) & 0xFF;
        if (byte != 0) {
            *out++ = static_cast<char>(byte);
        }
        i += 3;
    }
    return out;
}

}  // namespace

std::string DecodeEncodedWords(const std::string& text)
{
    const std::size_t length = TextLength(text);
    const unsigned char* const begin = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = begin + length;

    // Every word consumes at least its opening and its "?" without output, and decodes to no
    // more bytes than its encoded text, so the output never outgrows the input; the 16 bytes
    // beyond are room for the last Base64 group's unconditional stores.
    std::string output(length + kOutputRoom, '\0');
    char* out = output.data();

    const unsigned char* plainStart = begin;  // start of text not yet copied
    const unsigned char* cursor = begin;      // where the search for the next opening resumes
    while (cursor < end) {
        const unsigned char* equals = FindWordStart(cursor, end);
        if (equals == end) {
            break;
        }
        Encoding encoding = Encoding::Base64;
        const std::size_t openingLength =
            MatchOpeningAt(equals, static_cast<std::size_t>(end - equals), encoding);
        if (openingLength == 0) {
            cursor = equals + 1;
            continue;
        }

        std::memcpy(out, plainStart, static_cast<std::size_t>(equals - plainStart));
        out += equals - plainStart;

        const unsigned char* encoded = equals + openingLength;
        const void* question = std::memchr(encoded, '?', static_cast<std::size_t>(end - encoded));
        if (!question) {
            // A word still open at the end of the text is dropped whole.
            plainStart = end;
            break;
        }
        const unsigned char* close = static_cast<const unsigned char*>(question);
        // The encoded text is decoded whole, however long it is.
        const std::size_t encodedLength = static_cast<std::size_t>(close - encoded);
        if (encoding == Encoding::Base64) {
            out = DecodeBase64Into(encoded, encodedLength, out);
        } else {
            out = DecodeQuotedPrintableInto(encoded, encodedLength, out);
        }
        // The "?" and the byte after it, whatever it is, close the word.
        const std::size_t closing = close + 1 < end ? 2 : 1;
        plainStart = cursor = close + closing;
    }
    std::memcpy(out, plainStart, static_cast<std::size_t>(end - plainStart));
    out += end - plainStart;
    output.resize(static_cast<std::size_t>(out - output.data()));
    return output;
}

std::string DecodeBase64(const std::string& text)
{
    const std::size_t length = TextLength(text);
    std::string output(length + kOutputRoom, '\0');
    char* end = DecodeBase64Into(reinterpret_cast<const unsigned char*>(text.data()), length, output.data());
    output.resize(static_cast<std::size_t>(end - output.data()));
    return output;
}

std::string DecodeQuotedPrintable(const std::string& text)
{
    const std::size_t length = TextLength(text);
    std::string output(length, '\0');
    char* end =
        DecodeQuotedPrintableInto(reinterpret_cast<const unsigned char*>(text.data()), length, output.data());
    output.resize(static_cast<std::size_t>(end - output.data()));
    return output;
}

int Base64Value(char c)
{
    return kBase64Values[static_cast<unsigned char>(c)];
}
