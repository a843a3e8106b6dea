// What a platform provides for the charsets that are converted through Unicode (all but the
// Japanese ones, which are our own arithmetic): iconv on POSIX, the code-page functions on
// Windows. Only decode/ and the two implementations include this file.
#ifndef KELVOR_DECODE_UNICODECHARSETS_H
#define KELVOR_DECODE_UNICODECHARSETS_H

#include <string>
#include <string_view>

// One charset under the names the two platforms know it by.
struct UnicodeCharset {
    const char* iconvName;
    unsigned codePage;          // Windows code page
    unsigned fallbackCodePage;  // used when codePage is not installed; 0 for none
};

// Converts bytes of `charset` into Shift_JIS: each byte sequence to its Unicode code point
// (an invalid one to U+FFFD), each code point through Cp932Form, then to CP932, with
// kSjisReplacement for what CP932 cannot hold. Appends to `sjis`. 0 when the platform has no
// converter for the charset (nothing appended).
int ConvertThroughUnicode(const UnicodeCharset& charset, std::string_view bytes, std::string& sjis);

// Seven characters have a JIS form and a Windows form in Unicode (U+301C and U+FF5E, the wave
// dash, and so on); CP932 encodes only the Windows form. Gives that form for the JIS one and
// every other code point unchanged.
char32_t Cp932Form(char32_t codePoint);

// Whether the byte starts a two-byte character in Shift_JIS (CP932).
bool IsSjisLeadByte(unsigned char c);

// "〓" (GETA MARK) in Shift_JIS: what stands for a character Shift_JIS cannot hold.
inline constexpr char kSjisReplacement[] = "\x81\xAC";

#endif
