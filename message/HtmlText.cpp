// A small HTML to text conversion: tags, comments and character references, no layout.
// Works on Shift_JIS, whose second bytes never take the values of "<", ">", "&" or blanks.
#include "message/HtmlText.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "decode/CharsetConversion.h"
#include "message/HeaderFields.h"

namespace {

struct NamedReference {
    std::string_view name;
    char32_t codePoint;
};

// The references mail uses in practice; any other stays as written.
constexpr NamedReference kNamedReferences[] = {
    {"amp", '&'},       {"lt", '<'},         {"gt", '>'},         {"quot", '"'},       {"apos", '\''},
    {"nbsp", ' '},      {"ensp", ' '},       {"emsp", ' '},       {"thinsp", ' '},     {"copy", 0xA9},
    {"reg", 0xAE},      {"trade", 0x2122},   {"hellip", 0x2026},  {"mdash", 0x2014},   {"ndash", 0x2013},
    {"lsquo", 0x2018},  {"rsquo", 0x2019},   {"ldquo", 0x201C},   {"rdquo", 0x201D},   {"laquo", 0xAB},
    {"raquo", 0xBB},    {"yen", 0xA5},       {"euro", 0x20AC},    {"cent", 0xA2},      {"pound", 0xA3},
    {"middot", 0xB7},   {"bull", 0x2022},    {"times", 0xD7},     {"divide", 0xF7},    {"deg", 0xB0},
    {"plusmn", 0xB1},   {"para", 0xB6},      {"sect", 0xA7},      {"larr", 0x2190},    {"rarr", 0x2192},
    {"uarr", 0x2191},   {"darr", 0x2193},    {"hearts", 0x2665},  {"star", 0x2606},    {"check", 0x2713},
    {"zwnj", 0x200C},   {"zwj", 0x200D},     {"shy", 0xAD},       {"not", 0xAC},       {"acute", 0xB4},
    {"uml", 0xA8},      {"iexcl", 0xA1},     {"iquest", 0xBF},    {"frac12", 0xBD},    {"sup2", 0xB2},
};

// The most bytes from "&" to ";" of a reference this conversion knows.
constexpr std::size_t kLongestReference = 12;

// Elements that stand on lines of their own.
constexpr std::string_view kBlockElements[] = {"p", "div", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6"};

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The end of the tag that starts at `at` ("<"): past its ">", quoted attribute values stepped
// over; the end of the text when it never closes.
std::size_t TagEnd(std::string_view html, std::size_t at)
{
    char quote = 0;
    for (std::size_t i = at + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            // Only a quote that opens an attribute value counts.
            if (html[i - 1] == '=' || IsSpace(html[i - 1])) quote = c;
        } else if (c == '>') {
            return i + 1;
        }
    }
    return html.size();
}

// The elements whose content is dropped, and where each one's end tag is known to be missing:
// a search that found none is not made again for a later start tag of the same name, and the
// start of the body that ends an open head is found once for every head before it.
class DroppedElements {
public:
    explicit DroppedElements(std::string_view html) : html_(html) {}

    // Whether the content of the element is dropped.
    static bool IsDropped(std::string_view name) { return IndexOf(name) < kNames.size(); }

    // Where the element whose content starts at `from` ends: past "</name ...>", or for a head
    // left open where the body begins, or the end of the text.
    std::size_t End(std::size_t from, std::string_view name)
    {
        const std::size_t index = IndexOf(name);
        if (from < missingFrom_[index]) {
            for (std::size_t at = from; (at = html_.find("</", at)) != std::string_view::npos; at += 2) {
                const std::size_t after = at + 2 + name.size();
                if (after <= html_.size() && EqualsIgnoringCase(html_.substr(at + 2, name.size()), name) &&
                    (after == html_.size() || !IsNameCharacter(html_[after]))) {
                    return TagEnd(html_, at);
                }
            }
            missingFrom_[index] = from;
        }
        return name == "head" ? BodyStart(from) : html_.size();
    }

private:
    static constexpr std::array<std::string_view, 4> kNames = {"head", "style", "script", "title"};

    static std::size_t IndexOf(std::string_view name)
    {
        return static_cast<std::size_t>(std::find(kNames.begin(), kNames.end(), name) - kNames.begin());
    }

    // The first "<body" at or after `from` (letters in any case), or the end of the text.
    std::size_t BodyStart(std::size_t from)
    {
        if (from < bodySearchedFrom_ || from > body_) {
            bodySearchedFrom_ = from;
            body_ = html_.size();
            for (std::size_t at = from; (at = html_.find('<', at)) != std::string_view::npos; ++at) {
                if (EqualsIgnoringCase(html_.substr(at + 1, 4), "body")) {
                    body_ = at;
                    break;
                }
            }
        }
        return body_;
    }

    std::string_view html_;
    // Past these positions the element's end tag is missing; npos while not known.
    std::array<std::size_t, kNames.size()> missingFrom_ = {std::string_view::npos, std::string_view::npos,
                                                            std::string_view::npos, std::string_view::npos};
    std::size_t bodySearchedFrom_ = std::string_view::npos;
    std::size_t body_ = 0;
};

// Decodes the character reference at `at` ("&") into `text`; returns its length, or 0 when
// it is none that is known (the "&" then stays as it is).
std::size_t AppendReference(std::string_view html, std::size_t at, std::string& text)
{
    // A reference is a short name: the ";" is looked for among the next 12 bytes only.
    const std::size_t found = html.substr(at, kLongestReference + 1).find(';');
    if (found == std::string_view::npos || found == 1) {
        return 0;
    }
    const std::size_t semicolon = at + found;
    const std::string_view name = html.substr(at + 1, semicolon - at - 1);
    char32_t codePoint = 0;
    if (name[0] == '#') {
        const bool hexadecimal = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const std::string digits(name.substr(hexadecimal ? 2 : 1));
        if (digits.empty() || digits.find_first_not_of(hexadecimal ? "0123456789abcdefABCDEF" : "0123456789") !=
                                  std::string::npos) {
            return 0;
        }
        codePoint = static_cast<char32_t>(std::strtoul(digits.c_str(), nullptr, hexadecimal ? 16 : 10));
        if (codePoint == 0xA0) {
            codePoint = ' ';
        }
    } else {
        for (const NamedReference& reference : kNamedReferences) {
            if (reference.name == name) {
                codePoint = reference.codePoint;
                break;
            }
        }
        if (codePoint == 0) {
            return 0;
        }
    }
    if (codePoint == 0x200C || codePoint == 0x200D || codePoint == 0xAD) {
        return semicolon + 1 - at;  // invisible
    }
    if (codePoint == 0 || codePoint > 0x10FFFF) {
        codePoint = 0xFFFD;
    }
    AppendCodePointAsSjis(codePoint, text);
    return semicolon + 1 - at;
}

// Trims blanks at the ends of lines (those at the starts come from <pre> or &nbsp;), cuts runs
// of empty lines to one and drops empty lines at the start and the end.
std::string TidyLines(const std::string& text)
{
    std::string tidy;
    tidy.reserve(text.size());
    bool pendingEmptyLine = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t first = start;
        std::size_t last = end;
        while (last > first && text[last - 1] == ' ') --last;
        if (first == last) {
            pendingEmptyLine = !tidy.empty();
        } else {
            if (pendingEmptyLine) tidy += '\n';
            pendingEmptyLine = false;
            tidy.append(text, first, last - first);
            tidy += '\n';
        }
        start = end + 1;
    }
    return tidy;
}

}  // namespace

std::string HtmlToText(std::string_view html)
{
    std::string text;
    text.reserve(html.size());
    DroppedElements dropped(html);
    bool inPre = false;
    std::size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                const std::size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            std::size_t nameStart = i + 1;
            const bool closing = nameStart < html.size() && html[nameStart] == '/';
            if (closing) ++nameStart;
            std::size_t nameEnd = nameStart;
            while (nameEnd < html.size() && IsNameCharacter(html[nameEnd])) ++nameEnd;
            // Only a tag is looked at further, so that a run of "<" costs no search each.
            if (nameEnd == nameStart && !closing && (nameStart >= html.size() || html[nameStart] != '!')) {
                text += c;  // a "<" that starts no tag is text
                ++i;
                continue;
            }
            const std::size_t end = TagEnd(html, i);
            const std::string name = LowerCase(html.substr(nameStart, nameEnd - nameStart));
            i = end;
            if (!closing && DroppedElements::IsDropped(name)) {
                i = dropped.End(end, name);
            } else if (name == "br" && !closing) {
                text += '\n';
            } else if (name == "pre") {
                inPre = !closing;
            } else {
                for (std::string_view block : kBlockElements) {
                    // The end of a block ends its line; its start ends a line before it too.
                    if (name == block && (closing || (!text.empty() && text.back() != '\n'))) {
                        text += '\n';
                        break;
                    }
                }
            }
            continue;
        }
        if (c == '&') {
            const std::size_t length = AppendReference(html, i, text);
            if (length > 0) {
                i += length;
                continue;
            }
        }
        if (IsSpace(c) && !inPre) {
            // A run of white space shows as one blank.
            if (!text.empty() && text.back() != ' ' && text.back() != '\n') text += ' ';
            ++i;
            continue;
        }
        if (c == '\r') {
            ++i;
            continue;
        }
        text += c;
        ++i;
    }
    return TidyLines(text);
}

std::string HtmlMetaCharset(std::string_view html)
{
    const std::string head = LowerCase(html.substr(0, 4096));
    for (std::size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
        const std::size_t end = head.find('>', at);
        const std::string_view tag = std::string_view(head).substr(at, end == std::string::npos ? end : end - at);
        const std::size_t charset = tag.find("charset=");
        if (charset == std::string_view::npos) continue;
        std::size_t start = charset + 8;
        while (start < tag.size() && (tag[start] == '"' || tag[start] == '\'' || tag[start] == ' ')) ++start;
        std::size_t stop = start;
        while (stop < tag.size() && tag[stop] != '"' && tag[stop] != '\'' && tag[stop] != ';' && !IsSpace(tag[stop]) &&
               tag[stop] != '/') {
            ++stop;
        }
        if (stop > start) return std::string(tag.substr(start, stop - start));
    }
    return {};
}
