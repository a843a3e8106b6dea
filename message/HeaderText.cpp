// Encoded words by charset: found, decoded, grouped with their neighbours of the same charset,
// then converted into Shift_JIS.
#include "message/HeaderText.h"

#include "decode/CharsetConversion.h"
#include "message/HeaderFields.h"
#include "message/TransferEncoding.h"
#include "message/TextCharset.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Where the closing "?=" and the next line end lie after the text of a word starts. Openings
// are tried from left to right, and the text of a later one never starts before that of an
// earlier one, so each search either is answered by the last one or starts past what it found:
// the value is searched once, not once per opening. When no "?=" is left, no later opening can
// close either.
class WordEnds {
public:
    explicit WordEnds(std::string_view value) : value_(value) {}

    // The first "?=" at or after `from`, or npos.
    std::size_t CloseAfter(std::size_t from)
    {
        if (!close_.Answers(from)) {
            close_ = {from, value_.find("?=", from)};
        }
        return close_.at;
    }

    // The first CR or LF at or after `from`, or npos.
    std::size_t LineEndAfter(std::size_t from)
    {
        if (!lineEnd_.Answers(from)) {
            lineEnd_ = {from, value_.find_first_of("\r\n", from)};
        }
        return lineEnd_.at;
    }

    // Whether a search found no "?=" after where it started.
    bool NoCloseLeft() const { return close_.searched && close_.at == std::string_view::npos; }

private:
    // What one search found: nothing of its kind lies between `from` and `at`.
    struct Found {
        std::size_t from = 0;
        std::size_t at = 0;
        bool searched = false;

        Found() = default;
        Found(std::size_t searchFrom, std::size_t foundAt) : from(searchFrom), at(foundAt), searched(true) {}

        bool Answers(std::size_t start) const { return searched && start >= from && start <= at; }
    };

    std::string_view value_;
    Found close_;
    Found lineEnd_;
};

struct EncodedWord {
    std::size_t start;       // of "=?"
    std::size_t end;         // past "?="
    std::string_view charset;  // without the language
    std::string bytes;       // decoded
};

// Reads the encoded word that starts at `at` (which holds "=?"); false when none does.
bool ReadEncodedWord(std::string_view value, std::size_t at, WordEnds& ends, EncodedWord& word)
{
    const std::size_t charsetStart = at + 2;
    const std::size_t charsetEnd = value.find('?', charsetStart);
    if (charsetEnd == std::string_view::npos || charsetEnd == charsetStart ||
        charsetEnd + 3 > value.size() || value[charsetEnd + 2] != '?') {
        return false;
    }
    std::string_view charset = value.substr(charsetStart, charsetEnd - charsetStart);
    for (char c : charset) {
        if (IsBlank(c) || c == '=' || static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    const char encoding = value[charsetEnd + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q') {
        return false;
    }
    const std::size_t textStart = charsetEnd + 3;
    const std::size_t textEnd = ends.CloseAfter(textStart);
    if (textEnd == std::string_view::npos || ends.LineEndAfter(textStart) < textEnd) {
        return false;
    }
    const std::string_view text = value.substr(textStart, textEnd - textStart);
    // RFC 2231 section 5: a language after "*" is of no use here.
    const std::size_t star = charset.find('*');
    word.charset = star == std::string_view::npos ? charset : charset.substr(0, star);
    word.bytes = (encoding == 'B' || encoding == 'b') ? DecodeLenientBase64(text) : DecodeQEncoding(text);
    word.start = at;
    word.end = textEnd + 2;
    return true;
}

bool IsOnlyBlanks(std::string_view text)
{
    for (char c : text) {
        if (!IsBlank(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string OnOneLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            line += ' ';
        } else if (c != '\0') {
            line += c;
        }
    }
    return line;
}

std::string DecodedFieldValue(std::string_view rawValue)
{
    return OnOneLine(DecodeHeaderValue(UnfoldedValue(rawValue)));
}

std::string DecodeQEncoding(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        char byte = 0;
        if (c == '_') {
            bytes += ' ';
        } else if (c == '=' && ReadHexByte(text, i + 1, byte)) {
            bytes += byte;
            i += 2;
        } else {
            bytes += c;
        }
    }
    return bytes;
}

std::string DecodeHeaderValue(std::string_view value)
{
    if (value.find("=?") == std::string_view::npos) {
        return TextToSjis("", value);
    }
    std::string decoded;
    std::size_t plainStart = 0;  // text not yet converted
    std::size_t search = 0;
    // The words of one run: adjacent, of one charset; their bytes wait to be converted together.
    std::string_view runCharset;
    std::string runBytes;
    bool inRun = false;
    const auto endRun = [&] {
        if (inRun) {
            decoded += TextToSjis(runCharset, runBytes);
            runBytes.clear();
            inRun = false;
        }
    };
    EncodedWord word;
    WordEnds ends(value);
    while (search < value.size()) {
        const std::size_t at = value.find("=?", search);
        if (at == std::string_view::npos) {
            break;
        }
        if (!ReadEncodedWord(value, at, ends, word)) {
            if (ends.NoCloseLeft()) {
                break;  // a word that cannot close ends the search for words
            }
            search = at + 1;
            continue;
        }
        const std::string_view between = value.substr(plainStart, at - plainStart);
        // White space between two adjacent words is dropped (RFC 2047 section 6.2).
        const bool adjacent = inRun && IsOnlyBlanks(between);
        if (!adjacent) {
            endRun();
            decoded += TextToSjis("", between);
        }
        if (inRun && CharsetLabelKey(runCharset) != CharsetLabelKey(word.charset)) {
            endRun();
        }
        runCharset = word.charset;
        runBytes += word.bytes;
        inRun = true;
        plainStart = search = word.end;
    }
    endRun();
    decoded += TextToSjis("", value.substr(plainStart));
    return decoded;
}
