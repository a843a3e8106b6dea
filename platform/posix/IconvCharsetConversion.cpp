// The charsets that go through Unicode, converted with iconv in two stages: the source into
// UTF-32 (an invalid sequence becomes U+FFFD), then each code point into CP932 through a table
// that iconv fills, with our own replacement. Never //TRANSLIT, whose result depends on the
// locale.
#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/UnicodeCharsets.h"

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Opened converters are kept for the thread's life: opening one costs more than converting a
// header line.
class ConverterCache {
public:
    ~ConverterCache()
    {
        for (Entry& entry : entries_) {
            if (entry.converter != kNoConverter) {
                iconv_close(entry.converter);
            }
        }
    }

    // The converter between the two codes, or kNoConverter when iconv has none.
    iconv_t Get(const char* toCode, const char* fromCode)
    {
        for (Entry& entry : entries_) {
            if (entry.toCode == toCode && entry.fromCode == fromCode) {
                if (entry.converter != kNoConverter) {
                    iconv(entry.converter, nullptr, nullptr, nullptr, nullptr);
                }
                return entry.converter;
            }
        }
        entries_.push_back({toCode, fromCode, iconv_open(toCode, fromCode)});
        return entries_.back().converter;
    }

private:
    struct Entry {
        std::string toCode;
        std::string fromCode;
        iconv_t converter;
    };
    std::vector<Entry> entries_;
};

thread_local ConverterCache t_converters;

// The most bytes handed to the decoder at once, and the first piece after an invalid byte.
constexpr std::size_t kDecodedPiece = 4096;
constexpr std::size_t kPieceAfterInvalidByte = 16;

// The code points of the bytes in the machine's byte order; a byte that starts no valid
// sequence, or a sequence cut off by the end, becomes U+FFFD and the rest goes on.
void DecodeToUtf32(iconv_t decoder, std::string_view bytes, std::vector<char32_t>& codePoints)
{
    // Most charsets give at most one code point per byte; a few give two for some codes.
    codePoints.resize(bytes.size() + 4);
    std::size_t used = 0;  // code points written so far
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t pieceLength = kDecodedPiece;
    while (inLeft > 0) {
        char* const outStart = reinterpret_cast<char*>(codePoints.data() + used);
        char* out = outStart;
        std::size_t outLeft = (codePoints.size() - used) * sizeof(char32_t);
        // The text goes in pieces: a call that meets an invalid byte ends there, and a call
        // handed the whole rest each time would cost in proportion to the rest wherever the
        // input is checked (the sanitizers check all of it at every call). After an invalid
        // byte the pieces start small, as more invalid bytes tend to follow.
        std::size_t pieceLeft = std::min(inLeft, pieceLength);
        const std::size_t piece = pieceLeft;
        const std::size_t result = iconv(decoder, &in, &pieceLeft, &out, &outLeft);
        const int error = errno;
        inLeft -= piece - pieceLeft;
        used += static_cast<std::size_t>(out - outStart) / sizeof(char32_t);
        if (result != static_cast<std::size_t>(-1)) {
            pieceLength = std::min(pieceLength * 2, kDecodedPiece);
            continue;
        }
        if (error == EINVAL && inLeft > pieceLeft) {
            pieceLength = kDecodedPiece;
            continue;  // a sequence cut by the end of the piece, not of the text
        }
        if (error == E2BIG || used == codePoints.size()) {
            codePoints.resize(codePoints.size() * 2);
            if (error == E2BIG) {
                continue;
            }
        }
        // EILSEQ: one byte is given up for U+FFFD; EINVAL: the text ends inside a sequence,
        // which stands for one U+FFFD as a whole.
        codePoints[used++] = 0xFFFD;
        const std::size_t skipped = error == EINVAL ? inLeft : 1;
        pieceLength = kPieceAfterInvalidByte;
        in += skipped;
        inLeft -= skipped;
        iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    }
    // Some decoders (Windows-1255, -1258) hold back a letter until they know whether a
    // combining mark follows; the end of the input lets it go.
    for (;;) {
        if (codePoints.size() - used < 4) {
            codePoints.resize(codePoints.size() + 4);
        }
        char* const outStart = reinterpret_cast<char*>(codePoints.data() + used);
        char* out = outStart;
        std::size_t outLeft = (codePoints.size() - used) * sizeof(char32_t);
        const std::size_t result = iconv(decoder, nullptr, nullptr, &out, &outLeft);
        used += static_cast<std::size_t>(out - outStart) / sizeof(char32_t);
        if (result != static_cast<std::size_t>(-1) || errno != E2BIG) {
            break;
        }
        codePoints.resize(codePoints.size() * 2);
    }
    codePoints.resize(used);
}

// The CP932 codes of the Basic Multilingual Plane, each asked of iconv the first time it is
// needed, one character at a time. glibc's converter costs about 10 us for every character it
// has no code for when it is handed a long text (it converts the text before that character
// again), so a text of such characters is never handed to it whole.
class Cp932Codes {
public:
    // Appends the CP932 bytes of one code point, or "〓" where CP932 has none; 0 when iconv
    // fails in a way other than having no code (nothing appended then).
    int Append(iconv_t encoder, char32_t codePoint, std::string& sjis)
    {
        // The tag characters (U+E0000 to U+E007F, invisible) are left out, as glibc's converter
        // leaves them out of a whole text.
        if (codePoint >> 7 == 0xE0000 >> 7) {
            return 1;
        }
        // CP932 holds no other character beyond the Basic Multilingual Plane.
        std::uint16_t code = kNoCode;
        if (codePoint < 0x10000) {
            if (codes_.empty()) {
                codes_.assign(0x10000, kNotAsked);
            }
            code = codes_[codePoint];
            if (code == kNotAsked) {
                if (!Ask(encoder, codePoint, code)) {
                    return 0;
                }
                codes_[codePoint] = code;
            }
        }
        if (code == kNoCode) {
            sjis += kSjisReplacement;
        } else if (code > 0xFF) {
            sjis += static_cast<char>(code >> 8);
            sjis += static_cast<char>(code & 0xFF);
        } else {
            sjis += static_cast<char>(code);
        }
        return 1;
    }

private:
    // No CP932 code is either of these: a lead byte is at most 0xFC.
    static constexpr std::uint16_t kNotAsked = 0xFFFF;
    static constexpr std::uint16_t kNoCode = 0xFFFE;

    static bool Ask(iconv_t encoder, char32_t codePoint, std::uint16_t& code)
    {
        char* in = reinterpret_cast<char*>(&codePoint);
        std::size_t inLeft = sizeof codePoint;
        unsigned char bytes[8];
        char* out = reinterpret_cast<char*>(bytes);
        std::size_t outLeft = sizeof bytes;
        const std::size_t result = iconv(encoder, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        iconv(encoder, nullptr, nullptr, nullptr, nullptr);
        const std::size_t length = sizeof bytes - outLeft;
        if (result == static_cast<std::size_t>(-1)) {
            if (error != EILSEQ) {
                return false;
            }
            code = kNoCode;
        } else if (length == 1) {
            code = bytes[0];
        } else if (length == 2) {
            code = static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
        } else {
            return false;  // CP932 has codes of one or two bytes only
        }
        return true;
    }

    std::vector<std::uint16_t> codes_;  // empty until the first character
};

thread_local Cp932Codes t_cp932Codes;

// Each code point in its CP932 form; a code point CP932 has no code for becomes "〓".
int EncodeAsCp932(iconv_t encoder, const std::vector<char32_t>& codePoints, std::string& sjis)
{
    const std::size_t start = sjis.size();
    // A code point gives at most two bytes, and "〓" is two bytes.
    sjis.reserve(start + codePoints.size() * 2);
    for (char32_t codePoint : codePoints) {
        codePoint = Cp932Form(codePoint);
        // glibc's CP932 gives the yen sign and the overline the ASCII codes of backslash and
        // tilde, look-alikes that Windows' own table does not substitute: CP932 holds neither.
        if (codePoint == 0xA5 || codePoint == 0x203E) {
            codePoint = 0xFFFD;
        }
        if (!t_cp932Codes.Append(encoder, codePoint, sjis)) {
            sjis.resize(start);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int ConvertThroughUnicode(const UnicodeCharset& charset, std::string_view bytes, std::string& sjis)
{
    const char* const utf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
    iconv_t decoder = t_converters.Get(utf32, charset.iconvName);
    iconv_t encoder = t_converters.Get("CP932", utf32);
    if (decoder == kNoConverter || encoder == kNoConverter) {
        return 0;
    }
    std::vector<char32_t> codePoints;
    DecodeToUtf32(decoder, bytes, codePoints);
    return EncodeAsCp932(encoder, codePoints, sjis);
}
