// Choosing the charset a text is really in, then converting it.
#include "message/TextCharset.h"

#include "decode/CharsetConversion.h"

namespace {

bool IsUsAsciiLabel(std::string_view label)
{
    const std::string key = CharsetLabelKey(label);
    for (std::string_view name : {"usascii", "ascii", "ansix3.41968", "us", "iso646us", "csascii"}) {
        if (key == name) {
            return true;
        }
    }
    return false;
}

// ISO-2022-JP and its extensions (-1, -2, -3, -ms).
bool IsIso2022JpLabel(std::string_view label)
{
    return CharsetLabelKey(label).starts_with("iso2022jp");
}

// The bytes decide: an ESC means ISO-2022-JP, valid UTF-8 means UTF-8, else they stay.
std::string SniffedToSjis(std::string_view bytes, bool hasEscape, bool hasEightBit)
{
    std::string sjis;
    if (hasEscape && ConvertCharsetToSjis("ISO-2022-JP", bytes, sjis)) {
        return sjis;
    }
    if (hasEightBit && IsUtf8(bytes) && ConvertCharsetToSjis("UTF-8", bytes, sjis)) {
        return sjis;
    }
    return std::string(bytes);
}

}  // namespace

std::string TextToSjis(std::string_view charset, std::string_view bytes)
{
    bool hasEscape = false;
    bool hasEightBit = false;
    for (char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        hasEightBit |= byte >= 0x80;
        hasEscape |= byte == 0x1B;
    }
    if (!hasEscape && !hasEightBit) {
        return std::string(bytes);  // ASCII means the same under every label used in mail
    }
    const bool labelMisleads = charset.empty() || (IsUsAsciiLabel(charset)) ||
                               (IsIso2022JpLabel(charset) && !hasEscape);
    if (!labelMisleads) {
        std::string sjis;
        if (ConvertCharsetToSjis(charset, bytes, sjis)) {
            return sjis;
        }
    }
    return SniffedToSjis(bytes, hasEscape, hasEightBit);
}
