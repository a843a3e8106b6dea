// Shift_JIS <-> Unicode through iconv's CP932 converter, with UTF-8 on the Unicode side.
#include "platform/qt/ShiftJisText.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the UTF-8 sequence that starts with this byte (1 for a stray byte).
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF7) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

// Converts all of input with an open descriptor. Where the converter meets a sequence it
// cannot take, skip(remaining, length) names how many input bytes to drop and the bytes of
// replacement go to the output instead.
template <typename SkipLength>
std::string Convert(const char* toCode, const char* fromCode, const char* data, std::size_t length,
                    const char* replacement, SkipLength skip) {
    std::string output;
    iconv_t descriptor = iconv_open(toCode, fromCode);
    if (descriptor == reinterpret_cast<iconv_t>(-1)) {
        // Without the converter only ASCII is certain to mean the same on both sides.
        for (std::size_t i = 0; i < length; ++i) {
            unsigned char byte = static_cast<unsigned char>(data[i]);
            output += byte < 0x80 ? static_cast<char>(byte) : '?';
        }
        return output;
    }
    char buffer[4096];
    char* in = const_cast<char*>(data);
    std::size_t inLeft = length;
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t result = iconv(descriptor, &in, &inLeft, &out, &outLeft);
        int error = errno;
        output.append(buffer, out - buffer);
        if (result != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) continue;
        // EILSEQ: a sequence the converter cannot take; EINVAL: the text ends inside one.
        std::size_t drop = skip(in, inLeft);
        in += drop;
        inLeft -= drop;
        output += replacement;
        iconv(descriptor, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    }
    iconv_close(descriptor);
    return output;
}

}  // namespace

QString FromShiftJis(const std::string& text) {
    std::size_t length = std::strlen(text.c_str());  // a zero byte ends the text
    std::string utf8 = Convert("UTF-8", "CP932", text.data(), length, kReplacementCharacter,
                               [](const char*, std::size_t) { return std::size_t{1}; });
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToShiftJis(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    std::size_t length = std::strlen(utf8.constData());  // a zero character ends the text
    return Convert("CP932", "UTF-8", utf8.constData(), length, "?",
                   [](const char* at, std::size_t left) {
                       std::size_t sequence = Utf8SequenceLength(static_cast<unsigned char>(*at));
                       return sequence < left ? sequence : left;
                   });
}
