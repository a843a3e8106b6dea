// Charset names and their conversion into Shift_JIS: the Japanese charsets by our own JIS
// arithmetic, every other one through Unicode by the platform (UnicodeCharsets.h).
#include "decode/CharsetConversion.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <vector>

#include "decode/Iso2022Jp.h"
#include "decode/JisToSjis.h"
#include "decode/UnicodeCharsets.h"

namespace {

enum class Family { Iso2022Jp, ShiftJis, EucJp, ThroughUnicode };

struct Charset {
    Family family;
    UnicodeCharset unicode;
};

constexpr Charset kIso2022Jp = {Family::Iso2022Jp, {nullptr, 0, 0}};
constexpr Charset kShiftJis = {Family::ShiftJis, {nullptr, 0, 0}};
constexpr Charset kEucJp = {Family::EucJp, {nullptr, 0, 0}};
constexpr Charset kUtf8 = {Family::ThroughUnicode, {"UTF-8", 65001, 0}};

constexpr Charset Unicode(const char* iconvName, unsigned codePage, unsigned fallback = 0)
{
    return {Family::ThroughUnicode, {iconvName, codePage, fallback}};
}

constexpr Charset kWindows1252 = Unicode("CP1252", 1252);
constexpr Charset kGb18030 = Unicode("GB18030", 54936, 936);
constexpr Charset kBig5Hkscs = Unicode("BIG5-HKSCS", 950);
constexpr Charset kWindows949 = Unicode("CP949", 949);

struct Label {
    std::string_view name;  // lower case, as it is usually written
    Charset charset;
};

// Labels as mail carries them. Like the WHATWG Encoding Standard, US-ASCII and ISO-8859-1 are
// read as Windows-1252 (a superset that senders fill), GB 2312 and GBK as GB 18030, Big5 as
// Big5-HKSCS and EUC-KR as its Windows superset; every Shift_JIS label as CP932.
const Label kLabels[] = {
    {"utf-8", kUtf8}, {"utf8", kUtf8}, {"unicode-1-1-utf-8", kUtf8}, {"x-unicode20utf8", kUtf8},
    {"unicode-2-0-utf-8", kUtf8},

    {"iso-2022-jp", kIso2022Jp}, {"csiso2022jp", kIso2022Jp}, {"iso-2022-jp-1", kIso2022Jp},
    {"iso-2022-jp-2", kIso2022Jp}, {"iso-2022-jp-3", kIso2022Jp}, {"iso-2022-jp-ms", kIso2022Jp},
    {"cp50220", kIso2022Jp}, {"cp50221", kIso2022Jp}, {"cp50222", kIso2022Jp}, {"jis", kIso2022Jp},

    {"shift_jis", kShiftJis}, {"shift-jis", kShiftJis}, {"sjis", kShiftJis}, {"x-sjis", kShiftJis},
    {"ms_kanji", kShiftJis}, {"csshiftjis", kShiftJis}, {"windows-31j", kShiftJis},
    {"cswindows31j", kShiftJis}, {"cp932", kShiftJis}, {"ms932", kShiftJis}, {"x-ms-cp932", kShiftJis},
    {"windows-932", kShiftJis}, {"shift_jis-2004", kShiftJis}, {"shift_jisx0213", kShiftJis},

    {"euc-jp", kEucJp}, {"eucjp", kEucJp}, {"x-euc-jp", kEucJp}, {"cseucpkdfmtjapanese", kEucJp},
    {"euc-jp-ms", kEucJp}, {"eucjp-ms", kEucJp}, {"cp51932", kEucJp}, {"euc-jis-2004", kEucJp},

    {"us-ascii", kWindows1252}, {"ascii", kWindows1252}, {"ansi_x3.4-1968", kWindows1252},
    {"iso646-us", kWindows1252}, {"csascii", kWindows1252}, {"us", kWindows1252},
    {"iso-8859-1", kWindows1252}, {"iso8859-1", kWindows1252}, {"iso_8859-1", kWindows1252},
    {"iso88591", kWindows1252}, {"latin1", kWindows1252}, {"l1", kWindows1252},
    {"csisolatin1", kWindows1252}, {"iso-ir-100", kWindows1252}, {"cp819", kWindows1252},
    {"windows-1252", kWindows1252}, {"cp1252", kWindows1252}, {"x-cp1252", kWindows1252},

    {"iso-8859-2", Unicode("ISO-8859-2", 28592)}, {"iso8859-2", Unicode("ISO-8859-2", 28592)},
    {"iso_8859-2", Unicode("ISO-8859-2", 28592)}, {"latin2", Unicode("ISO-8859-2", 28592)},
    {"l2", Unicode("ISO-8859-2", 28592)}, {"csisolatin2", Unicode("ISO-8859-2", 28592)},
    {"iso-8859-3", Unicode("ISO-8859-3", 28593)}, {"iso8859-3", Unicode("ISO-8859-3", 28593)},
    {"latin3", Unicode("ISO-8859-3", 28593)},
    {"iso-8859-4", Unicode("ISO-8859-4", 28594)}, {"iso8859-4", Unicode("ISO-8859-4", 28594)},
    {"latin4", Unicode("ISO-8859-4", 28594)},
    {"iso-8859-5", Unicode("ISO-8859-5", 28595)}, {"iso8859-5", Unicode("ISO-8859-5", 28595)},
    {"cyrillic", Unicode("ISO-8859-5", 28595)},
    {"iso-8859-6", Unicode("ISO-8859-6", 28596)}, {"iso8859-6", Unicode("ISO-8859-6", 28596)},
    {"arabic", Unicode("ISO-8859-6", 28596)},
    {"iso-8859-7", Unicode("ISO-8859-7", 28597)}, {"iso8859-7", Unicode("ISO-8859-7", 28597)},
    {"greek", Unicode("ISO-8859-7", 28597)},
    {"iso-8859-8", Unicode("ISO-8859-8", 28598)}, {"iso8859-8", Unicode("ISO-8859-8", 28598)},
    {"iso-8859-8-i", Unicode("ISO-8859-8", 28598)}, {"hebrew", Unicode("ISO-8859-8", 28598)},
    {"iso-8859-9", Unicode("CP1254", 1254)}, {"iso8859-9", Unicode("CP1254", 1254)},
    {"latin5", Unicode("CP1254", 1254)},
    {"iso-8859-10", Unicode("ISO-8859-10", 28600)}, {"iso8859-10", Unicode("ISO-8859-10", 28600)},
    {"latin6", Unicode("ISO-8859-10", 28600)},
    {"iso-8859-11", Unicode("CP874", 874)}, {"iso8859-11", Unicode("CP874", 874)},
    {"tis-620", Unicode("CP874", 874)}, {"windows-874", Unicode("CP874", 874)},
    {"cp874", Unicode("CP874", 874)},
    {"iso-8859-13", Unicode("ISO-8859-13", 28603)}, {"iso8859-13", Unicode("ISO-8859-13", 28603)},
    {"iso-8859-14", Unicode("ISO-8859-14", 28604)}, {"iso8859-14", Unicode("ISO-8859-14", 28604)},
    {"iso-8859-15", Unicode("ISO-8859-15", 28605)}, {"iso8859-15", Unicode("ISO-8859-15", 28605)},
    {"iso_8859-15", Unicode("ISO-8859-15", 28605)}, {"latin9", Unicode("ISO-8859-15", 28605)},
    {"latin-9", Unicode("ISO-8859-15", 28605)},
    {"iso-8859-16", Unicode("ISO-8859-16", 28606)}, {"iso8859-16", Unicode("ISO-8859-16", 28606)},

    {"windows-1250", Unicode("CP1250", 1250)}, {"cp1250", Unicode("CP1250", 1250)},
    {"x-cp1250", Unicode("CP1250", 1250)},
    {"windows-1251", Unicode("CP1251", 1251)}, {"cp1251", Unicode("CP1251", 1251)},
    {"x-cp1251", Unicode("CP1251", 1251)},
    {"windows-1253", Unicode("CP1253", 1253)}, {"cp1253", Unicode("CP1253", 1253)},
    {"windows-1254", Unicode("CP1254", 1254)}, {"cp1254", Unicode("CP1254", 1254)},
    {"windows-1255", Unicode("CP1255", 1255)}, {"cp1255", Unicode("CP1255", 1255)},
    {"windows-1256", Unicode("CP1256", 1256)}, {"cp1256", Unicode("CP1256", 1256)},
    {"windows-1257", Unicode("CP1257", 1257)}, {"cp1257", Unicode("CP1257", 1257)},
    {"windows-1258", Unicode("CP1258", 1258)}, {"cp1258", Unicode("CP1258", 1258)},

    {"koi8-r", Unicode("KOI8-R", 20866)}, {"koi8", Unicode("KOI8-R", 20866)},
    {"cskoi8r", Unicode("KOI8-R", 20866)}, {"koi", Unicode("KOI8-R", 20866)},
    {"koi8-u", Unicode("KOI8-U", 21866)}, {"koi8-ru", Unicode("KOI8-U", 21866)},

    {"gb18030", kGb18030}, {"gb2312", kGb18030}, {"gbk", kGb18030}, {"x-gbk", kGb18030},
    {"cp936", kGb18030}, {"ms936", kGb18030}, {"windows-936", kGb18030}, {"csgb2312", kGb18030},
    {"euc-cn", kGb18030}, {"x-euc-cn", kGb18030}, {"chinese", kGb18030}, {"gb_2312-80", kGb18030},
    {"gb_2312", kGb18030}, {"iso-ir-58", kGb18030},
    {"eucgb2312_cn", kGb18030},  // as Python's email package labels GB 2312

    {"big5", kBig5Hkscs}, {"big5-hkscs", kBig5Hkscs}, {"cn-big5", kBig5Hkscs}, {"csbig5", kBig5Hkscs},
    {"x-x-big5", kBig5Hkscs}, {"x-big5", kBig5Hkscs}, {"cp950", kBig5Hkscs}, {"big5_tw", kBig5Hkscs},

    {"euc-kr", kWindows949}, {"cseuckr", kWindows949}, {"ks_c_5601-1987", kWindows949},
    {"ks_c_5601-1989", kWindows949}, {"ks_c_5601", kWindows949}, {"ksc5601", kWindows949},
    {"ksc_5601", kWindows949}, {"korean", kWindows949}, {"csksc56011987", kWindows949},
    {"iso-ir-149", kWindows949}, {"windows-949", kWindows949}, {"cp949", kWindows949},
    {"uhc", kWindows949}, {"x-windows-949", kWindows949},
};

// The most letters and digits a label of the table has, and room for those a sender adds.
constexpr std::size_t kLongestLabel = 32;

// CharsetLabelKey into a fixed area; empty when the key is longer than any charset name.
std::string_view LabelKey(std::string_view label, std::array<char, kLongestLabel>& key)
{
    std::size_t length = 0;
    for (char c : label) {
        if (c == '-' || c == '_') {
            continue;
        }
        if (length == key.size()) {
            return {};
        }
        key[length++] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return std::string_view(key.data(), length);
}

struct KeyedLabel {
    std::string key;
    const Charset* charset;
};

// The table by key; spellings that differ only in "-" and "_" share one entry.
const std::vector<KeyedLabel>& LabelsByKey()
{
    static const std::vector<KeyedLabel> sorted = [] {
        std::vector<KeyedLabel> labels;
        labels.reserve(std::size(kLabels));
        for (const Label& label : kLabels) {
            std::array<char, kLongestLabel> storage{};
            labels.push_back({std::string(LabelKey(label.name, storage)), &label.charset});
        }
        std::sort(labels.begin(), labels.end(),
                  [](const KeyedLabel& a, const KeyedLabel& b) { return a.key < b.key; });
        return labels;
    }();
    return sorted;
}

// The charset a label names: blanks and quotes around it ignored, letters in any case, "-"
// and "_" anywhere.
const Charset* FindCharset(std::string_view label)
{
    while (!label.empty() && (label.front() == ' ' || label.front() == '\t' || label.front() == '"')) {
        label.remove_prefix(1);
    }
    while (!label.empty() && (label.back() == ' ' || label.back() == '\t' || label.back() == '"')) {
        label.remove_suffix(1);
    }
    std::array<char, kLongestLabel> storage{};
    const std::string_view key = LabelKey(label, storage);
    if (key.empty()) {
        return nullptr;
    }
    const std::vector<KeyedLabel>& labels = LabelsByKey();
    const auto found = std::lower_bound(labels.begin(), labels.end(), key,
                                        [](const KeyedLabel& entry, std::string_view wanted) {
                                            return std::string_view(entry.key) < wanted;
                                        });
    return found != labels.end() && found->key == key ? found->charset : nullptr;
}

bool IsAscii(std::string_view bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool IsSjisTrail(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// Shift_JIS stays as it is; only bytes that cannot stand where they stand are replaced.
void AppendValidatedSjis(std::string_view bytes, std::string& sjis)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) {
            sjis += static_cast<char>(c);
            ++i;
        } else if (IsSjisLeadByte(c) && i + 1 < bytes.size() && IsSjisTrail(static_cast<unsigned char>(bytes[i + 1]))) {
            sjis.append(bytes.substr(i, 2));
            i += 2;
        } else {
            sjis += kSjisReplacement;
            ++i;
        }
    }
}

// EUC-JP by the JIS arithmetic: a pair of bytes from 0xA1 is a JIS X 0208 pair with the high
// bits set, 0x8E introduces a half-width katakana, 0x8F a JIS X 0212 character (none of which
// Shift_JIS holds).
void AppendEucJpAsSjis(std::string_view bytes, std::string& sjis)
{
    const auto isEucByte = [](unsigned char c) { return c >= 0xA1 && c <= 0xFE; };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const unsigned char next = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        if (c < 0x80) {
            sjis += static_cast<char>(c);
            ++i;
        } else if (isEucByte(c) && isEucByte(next)) {
            unsigned char lead = c & 0x7F;
            unsigned char trail = next & 0x7F;
            JisPairToSjis(lead, trail);
            sjis += static_cast<char>(lead);
            sjis += static_cast<char>(trail);
            i += 2;
        } else if (c == 0x8E && next >= 0xA1 && next <= 0xDF) {
            sjis += static_cast<char>(next);
            i += 2;
        } else if (c == 0x8F && isEucByte(next) && i + 2 < bytes.size() &&
                   isEucByte(static_cast<unsigned char>(bytes[i + 2]))) {
            sjis += kSjisReplacement;
            i += 3;
        } else {
            sjis += kSjisReplacement;
            ++i;
        }
    }
}

}  // namespace

std::string CharsetLabelKey(std::string_view label)
{
    std::string key;
    key.reserve(label.size());
    for (char c : label) {
        if (c != '-' && c != '_') {
            key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return key;
}

bool IsSjisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

char32_t Cp932Form(char32_t codePoint)
{
    switch (codePoint) {
    case 0x301C: return 0xFF5E;  // wave dash
    case 0x2014: return 0x2015;  // em dash / horizontal bar
    case 0x2016: return 0x2225;  // double vertical line / parallel to
    case 0x2212: return 0xFF0D;  // minus sign / full-width hyphen-minus
    case 0x00A2: return 0xFFE0;  // cent sign
    case 0x00A3: return 0xFFE1;  // pound sign
    case 0x00AC: return 0xFFE2;  // not sign
    default: return codePoint;
    }
}

int ConvertCharsetToSjis(std::string_view charset, std::string_view bytes, std::string& sjis)
{
    const Charset* found = FindCharset(charset);
    if (!found) {
        return 0;
    }
    std::string converted;
    converted.reserve(bytes.size() + bytes.size() / 2);
    switch (found->family) {
    case Family::Iso2022Jp:
        AppendIso2022JpAsSjis(bytes, converted);
        break;
    case Family::ShiftJis:
        AppendValidatedSjis(bytes, converted);
        break;
    case Family::EucJp:
        AppendEucJpAsSjis(bytes, converted);
        break;
    case Family::ThroughUnicode:
        // Every charset here agrees with ASCII, and so does Shift_JIS: plain ASCII text, the
        // usual case, needs no converter.
        if (IsAscii(bytes)) {
            converted.assign(bytes);
        } else if (!ConvertThroughUnicode(found->unicode, bytes, converted)) {
            return 0;
        }
        break;
    }
    sjis = std::move(converted);
    return 1;
}

bool IsUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;  // the range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;   // no overlong forms
            if (c == 0xED) high = 0x9F;  // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + length > n) {
            return false;
        }
        const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < low || second > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            const unsigned char more = static_cast<unsigned char>(bytes[i + k]);
            if (more < 0x80 || more > 0xBF) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

void AppendCodePointAsSjis(char32_t codePoint, std::string& sjis)
{
    if (codePoint < 0x80) {
        sjis += static_cast<char>(codePoint);
        return;
    }
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        sjis += kSjisReplacement;
        return;
    }
    std::string utf8;
    if (codePoint < 0x800) {
        utf8 += static_cast<char>(0xC0 | (codePoint >> 6));
    } else if (codePoint < 0x10000) {
        utf8 += static_cast<char>(0xE0 | (codePoint >> 12));
        utf8 += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    } else {
        utf8 += static_cast<char>(0xF0 | (codePoint >> 18));
        utf8 += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        utf8 += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    }
    utf8 += static_cast<char>(0x80 | (codePoint & 0x3F));
    if (!ConvertThroughUnicode(kUtf8.unicode, utf8, sjis)) {
        sjis += kSjisReplacement;
    }
}
