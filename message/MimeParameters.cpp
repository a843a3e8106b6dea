// Parameters of MIME field values, RFC 2231 continuations and charsets included.
#include "message/MimeParameters.h"

#include <algorithm>

#include "message/HeaderFields.h"
#include "message/TransferEncoding.h"
#include "message/HeaderText.h"
#include "message/TextCharset.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// "%" and two hexadecimal digits stand for one byte (RFC 2231 section 4).
std::string PercentDecoded(std::string_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char byte = 0;
        if (text[i] == '%' && ReadHexByte(text, i + 1, byte)) {
            bytes += byte;
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

struct Section {
    int index;
    bool extended;  // percent-encoded, and in section 0 led by charset'language'
    std::string_view value;
};

}  // namespace

MimeFieldValue ParseMimeFieldValue(std::string_view value)
{
    MimeFieldValue field;
    std::size_t at = value.find(';');
    field.token = LowerCase(Trimmed(value.substr(0, at)));
    while (at != std::string_view::npos && at < value.size()) {
        ++at;  // past ";"
        while (at < value.size() && IsBlank(value[at])) {
            ++at;
        }
        const std::size_t equals = value.find_first_of("=;", at);
        if (equals == std::string_view::npos || value[equals] == ';') {
            at = equals;
            continue;
        }
        std::string name = LowerCase(Trimmed(value.substr(at, equals - at)));
        at = equals + 1;
        while (at < value.size() && IsBlank(value[at])) {
            ++at;
        }
        std::string parameterValue;
        if (at < value.size() && value[at] == '"') {
            ++at;
            while (at < value.size() && value[at] != '"') {
                if (value[at] == '\\' && at + 1 < value.size()) {
                    ++at;
                }
                parameterValue += value[at++];
            }
            at = value.find(';', at);
        } else {
            const std::size_t end = value.find(';', at);
            parameterValue = std::string(Trimmed(value.substr(at, end == std::string_view::npos ? end : end - at)));
            at = end;
        }
        if (!name.empty()) {
            field.parameters.emplace_back(std::move(name), std::move(parameterValue));
        }
    }
    return field;
}

namespace {

// The RFC 2231 form of parameter `name` ("name*" or the sections "name*0", "name*1*", ...)
// joined, its percent escapes undone, with the charset it names; false when it has none.
bool ExtendedParameter(const MimeFieldValue& field, std::string_view name, std::string& charset,
                       std::string& bytes)
{
    std::vector<Section> sections;
    for (const auto& [parameterName, value] : field.parameters) {
        if (parameterName.size() <= name.size() || parameterName.compare(0, name.size(), name) != 0 ||
            parameterName[name.size()] != '*') {
            continue;
        }
        std::string_view rest = std::string_view(parameterName).substr(name.size() + 1);
        Section section{0, false, value};
        if (!rest.empty() && rest.back() == '*') {
            section.extended = true;
            rest.remove_suffix(1);
        } else if (rest.empty()) {
            section.extended = true;  // "name*": one extended section
        }
        if (!rest.empty()) {
            if (rest.size() > 4 || rest.find_first_not_of("0123456789") != std::string_view::npos) {
                continue;
            }
            section.index = std::stoi(std::string(rest));
        }
        sections.push_back(section);
    }
    if (sections.empty()) {
        return false;
    }
    std::stable_sort(sections.begin(), sections.end(),
                     [](const Section& a, const Section& b) { return a.index < b.index; });
    charset.clear();
    bytes.clear();
    for (std::size_t n = 0; n < sections.size(); ++n) {
        std::string_view text = sections[n].value;
        if (!sections[n].extended) {
            bytes += text;
            continue;
        }
        if (n == 0) {
            // charset'language'text; both may be empty.
            const std::size_t first = text.find('\'');
            const std::size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
            if (second != std::string_view::npos) {
                charset = std::string(text.substr(0, first));
                text.remove_prefix(second + 1);
            }
        }
        bytes += PercentDecoded(text);
    }
    return true;
}

}  // namespace

std::string Parameter(const MimeFieldValue& field, std::string_view name)
{
    for (const auto& [parameterName, value] : field.parameters) {
        if (parameterName == name) {
            return value;
        }
    }
    // Some mailers send even the boundary in the RFC 2231 form.
    std::string charset;
    std::string bytes;
    return ExtendedParameter(field, name, charset, bytes) ? bytes : std::string();
}

bool ParameterText(const MimeFieldValue& field, std::string_view name, std::string& sjis)
{
    std::string charset;
    std::string bytes;
    if (ExtendedParameter(field, name, charset, bytes)) {
        sjis = TextToSjis(charset, bytes);
        return true;
    }
    for (const auto& [parameterName, value] : field.parameters) {
        if (parameterName == name) {
            // Outlook writes encoded words inside the quotes; others send raw 8-bit names.
            sjis = DecodeHeaderValue(value);
            return true;
        }
    }
    return false;
}
