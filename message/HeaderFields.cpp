// Header fields as RFC 5322 writes them: a name of printable characters up to a colon, the
// value after it, continuation lines that begin with a blank or a tab, and an empty line
// that ends the header.
#include "message/HeaderFields.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The name of the field this line starts, or an empty view when the line starts none: the
// name is printable ASCII without a colon; blanks between it and the colon are allowed (the
// obsolete syntax of RFC 5322 section 4.5) and are not part of it.
std::string_view FieldNameOf(std::string_view line, std::size_t& colon)
{
    colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return {};
    }
    std::size_t nameEnd = colon;
    while (nameEnd > 0 && IsBlank(line[nameEnd - 1])) {
        --nameEnd;
    }
    if (nameEnd == 0) {
        return {};
    }
    for (std::size_t i = 0; i < nameEnd; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 33 || c > 126) {
            return {};
        }
    }
    return line.substr(0, nameEnd);
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

MessageEntity ParseEntity(std::string_view text)
{
    MessageEntity entity;
    std::size_t at = 0;
    if (text.substr(0, 5) == "From ") {
        // A mailbox separator line ("From sender date"), unless it is a From field written
        // with a blank before its colon.
        std::size_t afterFirstLine = 0;
        std::size_t colon = 0;
        if (FieldNameOf(NextLine(text, afterFirstLine), colon).empty()) {
            at = afterFirstLine;
        }
    }
    // Where the value of the field being read starts.
    std::size_t valueStart = 0;
    while (at < text.size()) {
        const std::size_t lineStart = at;
        const std::string_view line = NextLine(text, at);
        if (line.empty()) {
            entity.body = text.substr(at);
            return entity;
        }
        if (IsBlank(line[0]) && !entity.fields.empty()) {
            entity.fields.back().value = text.substr(valueStart, lineStart + line.size() - valueStart);
            continue;
        }
        std::size_t colon = 0;
        const std::string_view name = FieldNameOf(line, colon);
        if (name.empty()) {
            at = lineStart;
            break;
        }
        valueStart = lineStart + colon + 1;
        entity.fields.push_back({name, line.substr(colon + 1)});
    }
    entity.body = text.substr(at);
    return entity;
}

std::string_view NextLine(std::string_view text, std::size_t& at)
{
    const std::size_t end = text.find('\n', at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string LowerCase(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        c = LowerAscii(c);
    }
    return lower;
}

const HeaderField* FindField(const MessageEntity& entity, std::string_view name)
{
    for (const HeaderField& field : entity.fields) {
        if (EqualsIgnoringCase(field.name, name)) {
            return &field;
        }
    }
    return nullptr;
}

std::string UnfoldedValue(std::string_view value)
{
    std::string unfolded;
    unfolded.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        // Inside a value every line end is followed by a blank: dropping it unfolds.
        if (c == '\n' || (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')) {
            continue;
        }
        unfolded += c;
    }
    std::size_t first = 0;
    while (first < unfolded.size() && IsBlank(unfolded[first])) {
        ++first;
    }
    std::size_t last = unfolded.size();
    while (last > first && IsBlank(unfolded[last - 1])) {
        --last;
    }
    return unfolded.substr(first, last - first);
}

std::string FieldValue(const MessageEntity& entity, std::string_view name)
{
    const HeaderField* field = FindField(entity, name);
    return field ? UnfoldedValue(field->value) : std::string();
}
