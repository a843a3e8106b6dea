// Base64 and quoted-printable bodies, decoded with the leniency real mail needs.
#include "message/TransferEncoding.h"

#include "decode/EncodedWord.h"
#include "message/HeaderFields.h"

namespace {

bool IsBase64Character(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

enum class Encoding { None, Base64, QuotedPrintable };

Encoding EncodingOf(std::string_view value)
{
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    if (EqualsIgnoringCase(value, "base64")) {
        return Encoding::Base64;
    }
    if (EqualsIgnoringCase(value, "quoted-printable")) {
        return Encoding::QuotedPrintable;
    }
    return Encoding::None;
}

// RFC 2045 section 6.7: "=" and two hexadecimal digits are a byte; "=" at the end of a line,
// blanks after it allowed, is a soft line break; any other "=" stays.
std::string DecodeQuotedPrintableBody(std::string_view body)
{
    std::string bytes;
    bytes.reserve(body.size());
    std::size_t i = 0;
    while (i < body.size()) {
        const std::size_t equals = body.find('=', i);
        if (equals == std::string_view::npos) {
            bytes.append(body.substr(i));
            break;
        }
        bytes.append(body.substr(i, equals - i));
        i = equals + 1;
        char byte = 0;
        if (ReadHexByte(body, i, byte)) {
            bytes += byte;
            i += 2;
            continue;
        }
        std::size_t after = i;
        while (after < body.size() && (body[after] == ' ' || body[after] == '\t')) {
            ++after;
        }
        if (after < body.size() && body[after] == '\r' && after + 1 < body.size() && body[after + 1] == '\n') {
            i = after + 2;
        } else if (after < body.size() && body[after] == '\n') {
            i = after + 1;
        } else if (after == body.size()) {
            i = after;
        } else {
            bytes += '=';
        }
    }
    return bytes;
}

}  // namespace

bool ReadHexByte(std::string_view text, std::size_t at, char& byte)
{
    if (at + 1 >= text.size()) {
        return false;
    }
    const int high = HexDigitValue(text[at]);
    const int low = HexDigitValue(text[at + 1]);
    if (high < 0 || low < 0) {
        return false;
    }
    byte = static_cast<char>(high * 16 + low);
    return true;
}

std::string DecodeLenientBase64(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 3);
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (!IsBase64Character(c)) {
            continue;
        }
        bits = (bits << 6) | static_cast<unsigned>(Base64Value(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

std::string DecodeTransferEncoding(std::string_view encoding, std::string_view body)
{
    switch (EncodingOf(encoding)) {
    case Encoding::Base64:
        return DecodeLenientBase64(body);
    case Encoding::QuotedPrintable:
        return DecodeQuotedPrintableBody(body);
    case Encoding::None:
        break;
    }
    return std::string(body);
}

std::size_t DecodedSize(std::string_view encoding, std::string_view body)
{
    switch (EncodingOf(encoding)) {
    case Encoding::Base64: {
        std::size_t characters = 0;
        for (char c : body) {
            characters += IsBase64Character(c);
        }
        return characters * 6 / 8;
    }
    case Encoding::QuotedPrintable:
        return DecodeQuotedPrintableBody(body).size();
    case Encoding::None:
        break;
    }
    return body.size();
}
