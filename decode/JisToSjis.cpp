// The ISO-2022-JP (7-bit JIS) to Shift_JIS conversion: escape sequences switch between
// single-byte and two-byte mode, and each two-byte pair goes through the JIS arithmetic.
#include "decode/JisToSjis.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned char kEscape = 0x1B;

// The arithmetic on 8-bit bytes, modulo 256. For bytes 0x21 to 0x7E it is the JIS X 0208
// to Shift_JIS mapping; other bytes go through the same steps unchanged.
constexpr unsigned char SjisLeadByte(unsigned char first)
{
    const unsigned half = ((first + 1u) & 0xFF) >> 1;
    return static_cast<unsigned char>((first < 0x5F ? half + 0x70 : half + 0xB0) & 0xFF);
}

constexpr unsigned char SjisTrailByte(unsigned char first, unsigned char second)
{
    unsigned trail = (second + ((first & 1) ? 0x1Fu : 0x7Du)) & 0xFF;
    if (trail > 0x7E) {
        trail = (trail + 1) & 0xFF;
    }
    return static_cast<unsigned char>(trail);
}

// Both bytes of every pair come from tables: the lead byte depends on the first JIS byte
// alone, the trail byte on the second one and on whether the first is odd.
struct PairTables {
    std::array<unsigned char, 256> lead{};
    std::array<std::array<unsigned char, 256>, 2> trail{};
};

constexpr PairTables MakePairTables()
{
    PairTables tables;
    for (unsigned byte = 0; byte < 256; ++byte) {
        const auto value = static_cast<unsigned char>(byte);
        tables.lead[byte] = SjisLeadByte(value);
        tables.trail[0][byte] = SjisTrailByte(0x22, value);
        tables.trail[1][byte] = SjisTrailByte(0x21, value);
    }
    return tables;
}

constexpr PairTables kPairTables = MakePairTables();

// Four pairs at a time in one 64-bit word, for the long runs of two-byte text in a body.
// Each 16-bit lane holds one pair, first byte low (as loaded on a little-endian machine).
constexpr std::uint64_t kHighBits = 0x8080808080808080;
constexpr std::uint64_t kEveryByte = 0x0101010101010101;
constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FF;
constexpr std::uint64_t kEveryLane = 0x0001000100010001;

// 0x80 in every byte of `word` that is ESC, and nothing elsewhere.
inline std::uint64_t EscapeBytes(std::uint64_t word)
{
    constexpr std::uint64_t kLow7Bits = 0x7F7F7F7F7F7F7F7F;
    const std::uint64_t x = word ^ (kEscape * kEveryByte);
    return ~(((x & kLow7Bits) + kLow7Bits) | x | kLow7Bits);
}

// The number of bytes at the start of `word` that lie in 0x21 to 0x7E, rounded down to
// whole pairs: the pairs whose arithmetic needs no wrap. A byte outside the range stops
// the count; carries of the sums below can only reach the bytes after it.
inline std::size_t PlainPairBytes(std::uint64_t word)
{
    const std::uint64_t outside =
        (word | (word + kEveryByte) | ~(word + 0x5F * kEveryByte)) & kHighBits;
    const std::size_t plainBytes = outside == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(outside)) / 8;
    return plainBytes & ~std::size_t{1};
}

// The pair arithmetic on four pairs at once. Lanes holding bytes in 0x21 to 0x7E get exactly
// the bytes of JisPairToSjis; a lane with other bytes gets rubbish, which can spill only into
// the lanes above it.
inline std::uint64_t JisPairsToSjis(std::uint64_t word)
{
    const std::uint64_t first = word & kLowBytes;
    const std::uint64_t second = (word >> 8) & kLowBytes;
    const std::uint64_t half = ((first + kEveryLane) >> 1) & kLowBytes;
    const std::uint64_t from5F = ((first + 0x21 * kEveryLane) & (0x80 * kEveryLane)) >> 1;  // 0x40
    const std::uint64_t lead = half + 0x70 * kEveryLane + from5F;
    const std::uint64_t odd = first & kEveryLane;
    const std::uint64_t from60 = ((second + 0x20 * kEveryLane) & (0x80 * kEveryLane)) >> 7;  // 1
    // Odd first byte: second + 0x1F, one more past the gap at 0x7F; even: second + 0x7E.
    const std::uint64_t trail = second + 0x7E * kEveryLane - odd * 0x5F + (odd & from60);
    return lead | (trail << 8);
}

}  // namespace

void JisPairToSjis(unsigned char& first, unsigned char& second)
{
    const unsigned char jisFirst = first;
    first = SjisLeadByte(jisFirst);
    second = SjisTrailByte(jisFirst, second);
}

std::string ConvertJisToSjis(const std::string& text)
{
    const void* zero = std::memchr(text.data(), 0, text.size());
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text.data()) : text.size();
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = in + length;

    // An escape sequence yields nothing, a pair a pair and a single byte a single byte, so
    // the output never outgrows the input.
    std::string output(length, '\0');
    unsigned char* out = reinterpret_cast<unsigned char*>(output.data());

    bool twoByteMode = false;
    while (in < end) {
        if (!twoByteMode) {
            // Single-byte text runs up to the next ESC and is copied as it is. Short runs, the
            // usual case between two-byte runs, go eight bytes at a time; long ones to memchr.
            const unsigned char* escape = nullptr;
            if constexpr (std::endian::native == std::endian::little) {
                for (int words = 0; words < 4 && end - in >= 8; ++words) {
                    std::uint64_t word;
                    std::memcpy(&word, in, sizeof word);
                    std::memcpy(out, &word, sizeof word);
                    const std::uint64_t escapes = EscapeBytes(word);
                    if (escapes != 0) {
                        const auto before = static_cast<std::size_t>(std::countr_zero(escapes)) / 8;
                        in += before;
                        out += before;
                        escape = in;
                        break;
                    }
                    in += 8;
                    out += 8;
                }
            }
            if (!escape) {
                const void* found = std::memchr(in, kEscape, static_cast<std::size_t>(end - in));
                escape = found ? static_cast<const unsigned char*>(found) : end;
                std::memcpy(out, in, static_cast<std::size_t>(escape - in));
                out += escape - in;
                in = escape;
            }
        } else {
            // Every byte is paired, line ends included; an ESC counts only as a pair's first byte.
            bool textEnded = false;
            while (in < end && *in != kEscape) {
                if constexpr (std::endian::native == std::endian::little) {
                    // All eight converted bytes are stored but only the plain pairs kept; the
                    // output never runs ahead of the input, so the store stays inside it.
                    if (end - in >= 8) {
                        std::uint64_t word;
                        std::memcpy(&word, in, sizeof word);
                        const std::size_t pairBytes = PlainPairBytes(word);
                        if (pairBytes != 0) {
                            word = JisPairsToSjis(word);
                            std::memcpy(out, &word, sizeof word);
                            in += pairBytes;
                            out += pairBytes;
                            continue;
                        }
                    }
                }
                if (end - in < 2) {
                    // A lone byte just before the end has no partner and is dropped.
                    in = end;
                    break;
                }
                const unsigned char* trailTable = kPairTables.trail[in[0] & 1].data();
                const unsigned char lead = kPairTables.lead[in[0]];
                const unsigned char trail = trailTable[in[1]];
                // Bytes outside the JIS range can make the arithmetic yield a zero byte,
                // and a zero byte ends the converted text.
                if (lead == 0) {
                    textEnded = true;
                    break;
                }
                *out++ = lead;
                if (trail == 0) {
                    textEnded = true;
                    break;
                }
                *out++ = trail;
                in += 2;
            }
            if (textEnded) {
                break;
            }
        }
        if (in >= end) {
            break;
        }
        // An escape sequence is taken to be three bytes; only the byte after ESC decides the
        // mode. One cut short by the end of the text ends the conversion.
        if (end - in < 3) {
            break;
        }
        twoByteMode = in[1] != '(';
        in += 3;
    }
    output.resize(static_cast<std::size_t>(out - reinterpret_cast<unsigned char*>(output.data())));
    return output;
}
