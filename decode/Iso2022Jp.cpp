// ISO-2022-JP into Shift_JIS with whole escape sequences, half-width katakana and other
// two-byte sets replaced, as today's Japanese mailers need it.
#include "decode/Iso2022Jp.h"

#include "decode/JisToSjis.h"
#include "decode/UnicodeCharsets.h"

namespace {

constexpr unsigned char kEscape = 0x1B;
constexpr unsigned char kShiftOut = 0x0E;
constexpr unsigned char kShiftIn = 0x0F;

enum class Mode { Ascii, Katakana, Jis0208, OtherTwoByte };

bool IsJisByte(unsigned char c)
{
    return c >= 0x21 && c <= 0x7E;
}

// Reads the escape sequence at `at` (which holds ESC), sets `mode` when it designates a
// character set, and returns how many bytes it takes. An ESC that starts no known sequence
// is dropped alone.
std::size_t ReadEscape(std::string_view jis, std::size_t at, Mode& mode)
{
    const auto byteAt = [&jis](std::size_t i) -> unsigned char {
        return i < jis.size() ? static_cast<unsigned char>(jis[i]) : 0;
    };
    const unsigned char first = byteAt(at + 1);
    const unsigned char second = byteAt(at + 2);
    if (first == '(') {
        if (second == 'B' || second == 'J' || second == 'H') {
            mode = Mode::Ascii;
            return 3;
        }
        if (second == 'I') {
            mode = Mode::Katakana;
            return 3;
        }
        return 1;
    }
    if (first == '$') {
        if (second == '@' || second == 'B') {
            mode = Mode::Jis0208;
            return 3;
        }
        if (second == 'A') {
            mode = Mode::OtherTwoByte;  // GB 2312 (ISO-2022-JP-2)
            return 3;
        }
        if (second == '(') {
            const unsigned char third = byteAt(at + 3);
            if (third == '@' || third == 'B' || third == 'O' || third == 'Q') {
                mode = Mode::Jis0208;  // JIS X 0213 plane 1 holds JIS X 0208
                return 4;
            }
            if (third == 'D' || third == 'C' || third == 'P') {
                mode = Mode::OtherTwoByte;  // JIS X 0212, KS C 5601, JIS X 0213 plane 2
                return 4;
            }
        }
        return 1;
    }
    if (first == '&' && second == '@') {
        return 3;  // announces the 1990 edition of JIS X 0208; the designation follows
    }
    return 1;
}

}  // namespace

void AppendIso2022JpAsSjis(std::string_view jis, std::string& sjis)
{
    Mode mode = Mode::Ascii;
    bool shifted = false;  // between SO and SI: half-width katakana
    std::size_t i = 0;
    while (i < jis.size()) {
        const unsigned char c = static_cast<unsigned char>(jis[i]);
        if (c == kEscape) {
            i += ReadEscape(jis, i, mode);
            continue;
        }
        if (c == kShiftOut || c == kShiftIn) {
            shifted = c == kShiftOut;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            mode = Mode::Ascii;
            shifted = false;
            sjis += static_cast<char>(c);
            ++i;
            continue;
        }
        if ((mode == Mode::Jis0208 || mode == Mode::OtherTwoByte) && IsJisByte(c)) {
            if (i + 1 < jis.size() && IsJisByte(static_cast<unsigned char>(jis[i + 1]))) {
                if (mode == Mode::Jis0208) {
                    unsigned char lead = c;
                    unsigned char trail = static_cast<unsigned char>(jis[i + 1]);
                    JisPairToSjis(lead, trail);
                    sjis += static_cast<char>(lead);
                    sjis += static_cast<char>(trail);
                } else {
                    sjis += kSjisReplacement;
                }
                i += 2;
            } else {
                sjis += kSjisReplacement;  // half a character
                ++i;
            }
            continue;
        }
        if ((mode == Mode::Katakana || shifted) && c >= 0x21 && c <= 0x5F) {
            sjis += static_cast<char>(c + 0x80);
            ++i;
            continue;
        }
        sjis += static_cast<char>(c);
        ++i;
    }
}
