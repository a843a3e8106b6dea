// Base64 encoding in its standard and its URL-safe form.
#include "decode/Base64Encoding.h"

namespace {

std::string Encode(std::string_view bytes, const char* alphabet, bool padded)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t position = 0;
    for (; position + 3 <= bytes.size(); position += 3) {
        const unsigned long group = static_cast<unsigned long>(static_cast<unsigned char>(bytes[position])) << 16 |
                                    static_cast<unsigned long>(static_cast<unsigned char>(bytes[position + 1])) << 8 |
                                    static_cast<unsigned char>(bytes[position + 2]);
        text += alphabet[group >> 18 & 63];
        text += alphabet[group >> 12 & 63];
        text += alphabet[group >> 6 & 63];
        text += alphabet[group & 63];
    }
    const std::size_t rest = bytes.size() - position;
    if (rest == 0)
        return text;
    unsigned long group = static_cast<unsigned long>(static_cast<unsigned char>(bytes[position])) << 16;
    if (rest == 2)
        group |= static_cast<unsigned long>(static_cast<unsigned char>(bytes[position + 1])) << 8;
    text += alphabet[group >> 18 & 63];
    text += alphabet[group >> 12 & 63];
    if (rest == 2)
        text += alphabet[group >> 6 & 63];
    if (padded)
        text.append(rest == 1 ? 2 : 1, '=');
    return text;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes)
{
    return Encode(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", true);
}

std::string EncodeBase64Url(std::string_view bytes)
{
    return Encode(bytes, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", false);
}
