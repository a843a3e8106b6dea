// The charsets that go through Unicode, converted with iconv in two stages: the source into
// UTF-32 (an invalid sequence becomes U+FFFD), then each code point into CP932 with our own
// replacement. Never //TRANSLIT, whose result depends on the locale.
#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>
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

// The code points of the bytes in the machine's byte order; a byte that starts no valid
// sequence, or a sequence cut off by the end, becomes U+FFFD and the rest goes on.
void DecodeToUtf32(iconv_t decoder, std::string_view bytes, std::vector<char32_t>& codePoints)
{
    // Most charsets give at most one code point per byte; a few give two for some codes.
    codePoints.resize(bytes.size() + 4);
    std::size_t used = 0;  // code points written so far
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* const outStart = reinterpret_cast<char*>(codePoints.data() + used);
        char* out = outStart;
        std::size_t outLeft = (codePoints.size() - used) * sizeof(char32_t);
        const std::size_t result = iconv(decoder, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        used += static_cast<std::size_t>(out - outStart) / sizeof(char32_t);
        if (result != static_cast<std::size_t>(-1)) {
            break;
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

// Each code point in its CP932 form; a code point CP932 has no code for becomes "〓".
int EncodeAsCp932(iconv_t encoder, std::vector<char32_t>& codePoints, std::string& sjis)
{
    for (char32_t& codePoint : codePoints) {
        codePoint = Cp932Form(codePoint);
        // glibc's CP932 gives the yen sign and the overline the ASCII codes of backslash and
        // tilde, look-alikes that Windows' own table does not substitute: CP932 holds neither.
        if (codePoint == 0xA5 || codePoint == 0x203E) {
            codePoint = 0xFFFD;
        }
    }
    char* in = reinterpret_cast<char*>(codePoints.data());
    std::size_t inLeft = codePoints.size() * sizeof(char32_t);
    const std::size_t start = sjis.size();
    // A code point gives at most two bytes, and "〓" is two bytes.
    sjis.resize(start + codePoints.size() * 2);
    char* out = sjis.data() + start;
    std::size_t outLeft = codePoints.size() * 2;
    while (inLeft > 0) {
        if (iconv(encoder, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno != EILSEQ || outLeft < 2 || inLeft < sizeof(char32_t)) {
            sjis.resize(start);
            return 0;
        }
        std::memcpy(out, kSjisReplacement, 2);
        out += 2;
        outLeft -= 2;
        in += sizeof(char32_t);
        inLeft -= sizeof(char32_t);
        iconv(encoder, nullptr, nullptr, nullptr, nullptr);
    }
    sjis.resize(static_cast<std::size_t>(out - sjis.data()));
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
