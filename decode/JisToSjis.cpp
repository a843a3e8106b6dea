// The ISO-2022-JP (7-bit JIS) to Shift_JIS conversion: escape sequences switch between
// single-byte and two-byte mode, and each two-byte pair goes through the JIS arithmetic.
#include "decode/JisToSjis.h"

#include <array>
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
            // Single-byte text runs up to the next ESC and is copied as it is.
            const void* found = std::memchr(in, kEscape, static_cast<std::size_t>(end - in));
            const unsigned char* escape = found ? static_cast<const unsigned char*>(found) : end;
            std::memcpy(out, in, static_cast<std::size_t>(escape - in));
            out += escape - in;
            in = escape;
        } else {
            // Every byte is paired, line ends included; an ESC counts only as a pair's first byte.
            bool textEnded = false;
            while (in < end && *in != kEscape) {
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
