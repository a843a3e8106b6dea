// The charsets that go through Unicode, converted with the Windows code-page functions: the
// source into UTF-16 with MultiByteToWideChar, then each character into CP932 through a table
// that WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS) fills once, so that no look-alike is
// ever substituted and a character CP932 cannot hold becomes "〓".
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

#include "decode/UnicodeCharsets.h"

namespace {

constexpr unsigned kShiftJisCodePage = 932;
constexpr unsigned kUtf8CodePage = 65001;

// The CP932 bytes of every character of the Basic Multilingual Plane: one or two bytes, or
// none (a zero entry) where CP932 has no code. U+0000 is its own code.
class Cp932Table {
public:
    Cp932Table() : codes_(0x10000, 0)
    {
        // All characters but the surrogates and U+007F in one call, with U+007F (DEL) as the
        // default character: every 0x7F in the result marks a character without a code.
        std::vector<wchar_t> characters;
        characters.reserve(0x10000);
        for (unsigned c = 1; c < 0x10000; ++c) {
            if (c != 0x7F && (c < 0xD800 || c > 0xDFFF)) {
                characters.push_back(static_cast<wchar_t>(c));
            }
        }
        const int count = static_cast<int>(characters.size());
        const char defaultCharacter[] = "\x7F";
        const int length = WideCharToMultiByte(kShiftJisCodePage, WC_NO_BEST_FIT_CHARS, characters.data(), count,
                                               nullptr, 0, defaultCharacter, nullptr);
        std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
        WideCharToMultiByte(kShiftJisCodePage, WC_NO_BEST_FIT_CHARS, characters.data(), count, bytes.data(), length,
                            defaultCharacter, nullptr);
        std::size_t at = 0;
        for (wchar_t c : characters) {
            if (at >= bytes.size()) {
                break;
            }
            const unsigned char first = static_cast<unsigned char>(bytes[at]);
            if (IsSjisLeadByte(first) && at + 1 < bytes.size()) {
                codes_[c] = static_cast<unsigned short>((first << 8) | static_cast<unsigned char>(bytes[at + 1]));
                at += 2;
            } else {
                if (first != 0x7F) {
                    codes_[c] = first;
                }
                at += 1;
            }
        }
        codes_[0x7F] = 0x7F;
    }

    // Appends the CP932 form of one character, or "〓".
    void Append(char32_t c, std::string& sjis) const
    {
        if (c == 0) {
            sjis += '\0';
            return;
        }
        const unsigned code = c < 0x10000 ? codes_[c] : 0u;
        if (code == 0) {
            sjis += kSjisReplacement;
        } else if (code > 0xFF) {
            sjis += static_cast<char>(code >> 8);
            sjis += static_cast<char>(code & 0xFF);
        } else {
            sjis += static_cast<char>(code);
        }
    }

private:
    std::vector<unsigned short> codes_;
};

const Cp932Table& TheCp932Table()
{
    static const Cp932Table table;
    return table;
}

unsigned InstalledCodePage(const UnicodeCharset& charset)
{
    if (charset.codePage != 0 && IsValidCodePage(charset.codePage)) {
        return charset.codePage;
    }
    if (charset.fallbackCodePage != 0 && IsValidCodePage(charset.fallbackCodePage)) {
        return charset.fallbackCodePage;
    }
    return 0;
}

// The UTF-16 text of the bytes. Where a byte sequence is not valid in the code page, U+FFFD
// stands for it and the rest goes on, as on POSIX. Windows does so itself for UTF-8; for the
// other code pages it would put its default character, a question mark, there, so those are
// decoded with MB_ERR_INVALID_CHARS and, where that fails, one character at a time.
bool DecodeToUtf16(unsigned codePage, std::string_view bytes, std::wstring& wide)
{
    const DWORD flags = codePage == kUtf8CodePage ? 0 : MB_ERR_INVALID_CHARS;
    const auto decode = [codePage, flags](std::string_view piece, std::wstring& out) {
        const int inputLength = static_cast<int>(piece.size());
        const int length = MultiByteToWideChar(codePage, flags, piece.data(), inputLength, nullptr, 0);
        if (length <= 0) {
            return false;
        }
        const std::size_t start = out.size();
        out.resize(start + static_cast<std::size_t>(length));
        MultiByteToWideChar(codePage, flags, piece.data(), inputLength, out.data() + start, length);
        return true;
    };
    if (bytes.empty() || decode(bytes, wide)) {
        return true;
    }
    if (GetLastError() != ERROR_NO_UNICODE_TRANSLATION) {
        return false;
    }
    // The shortest piece of one to four bytes that decodes is one character; a byte that
    // starts none is replaced. Text full of invalid bytes makes several tries for every byte,
    // so each try is one call into a small area (four bytes give at most four UTF-16 units),
    // and no piece is tried that is longer than the code page's longest character.
    wide.clear();
    CPINFO info;
    const std::size_t longest =
        GetCPInfo(codePage, &info) && info.MaxCharSize >= 1 && info.MaxCharSize <= 4 ? info.MaxCharSize : 4;
    const auto decodeCharacter = [codePage, flags](std::string_view piece, std::wstring& out) {
        wchar_t units[8];
        const int length = MultiByteToWideChar(codePage, flags, piece.data(), static_cast<int>(piece.size()), units,
                                               static_cast<int>(std::size(units)));
        if (length <= 0) {
            return false;
        }
        out.append(units, static_cast<std::size_t>(length));
        return true;
    };
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = 1;
        while (length <= longest && at + length <= bytes.size() && !decodeCharacter(bytes.substr(at, length), wide)) {
            ++length;
        }
        if (length > longest || at + length > bytes.size()) {
            wide += L'\xFFFD';
            length = 1;
        }
        at += length;
    }
    return true;
}

}  // namespace

int ConvertThroughUnicode(const UnicodeCharset& charset, std::string_view bytes, std::string& sjis)
{
    const unsigned codePage = InstalledCodePage(charset);
    if (codePage == 0) {
        return 0;
    }
    std::wstring wide;
    if (!DecodeToUtf16(codePage, bytes, wide)) {
        return 0;
    }
    const Cp932Table& table = TheCp932Table();
    sjis.reserve(sjis.size() + wide.size() * 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t c = static_cast<unsigned short>(wide[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            // A character outside the Basic Multilingual Plane: CP932 holds none of them.
            ++i;
            sjis += kSjisReplacement;
            continue;
        }
        table.Append(Cp932Form(c), sjis);
    }
    return 1;
}
