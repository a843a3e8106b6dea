// The charset conversion into Shift_JIS, one table for every charset family. The same tables
// run natively (iconv) and under Wine (the Windows code-page functions): both must give the
// same bytes. Compiled with the Shift_JIS execution character set.
#include "decode/CharsetConversion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct Row {
    const char* behaviour;
    const char* charset;
    std::string input;
    std::string expected;
};

void ExpectConverted(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.behaviour) + " (" + row.charset + ")");
        std::string sjis = "untouched";
        ASSERT_EQ(ConvertCharsetToSjis(row.charset, row.input, sjis), 1);
        EXPECT_EQ(sjis, row.expected);
    }
}

TEST(CharsetConversion, JapaneseCharsetsByOurOwnArithmetic)
{
    ExpectConverted({
        {"JIS X 0208 between the usual escapes", "ISO-2022-JP", "\x1b$BF|K\\8l\x1b(B", "日本語"},
        {"the 1978 escape and JIS X 0201 Roman", "iso-2022-jp", "\x1b$@$\"\x1b(Jab", "あab"},
        {"half-width katakana after ESC ( I", "ISO-2022-JP", "\x1b(I12\x1b(Bx", "\xB1\xB2x"},
        {"half-width katakana between SO and SI", "ISO-2022-JP", "a\x0e" "12\x0f" "b", "a\xB1\xB2" "b"},
        {"NEC row 13 (circled one)", "ISO-2022-JP", "\x1b$B-!\x1b(B", "\x87\x40"},
        {"JIS X 0212 pairs are not held by Shift_JIS", "ISO-2022-JP", "\x1b$(D0!\x1b(Bz", "〓z"},
        {"a line end returns to ASCII when the escape is missing", "ISO-2022-JP", "\x1b$B$\"\r\nab",
         "あ\r\nab"},
        {"joined words: an empty ASCII run between two escapes", "ISO-2022-JP",
         "\x1b$B$\"\x1b(B\x1b$B$$\x1b(B", "あい"},
        {"Shift_JIS stays as it is, 0x5C trail byte included", "Shift_JIS", "\x95\x5c\x83\x5c", "表ソ"},
        {"Windows-31J holds NEC and IBM extensions", "Windows-31J", "\x87\x40\xfa\x40", "\x87\x40\xfa\x40"},
        {"CP932 label, half-width katakana", "cp932", "\xb1\xb2", "\xb1\xb2"},
        {"EUC-JP pairs", "EUC-JP", "\xc6\xfc\xcb\xdc\xb8\xec", "日本語"},
        {"EUC-JP half-width katakana", "euc-jp", "\x8e\xb1z", "\xB1z"},
        {"EUC-JP JIS X 0212 character", "EUC-JP", "\x8f\xb0\xa1z", "〓z"},
        {"EUC-JP NEC row 13", "EUC-JP", "\xad\xa1", "\x87\x40"},
    });
}

TEST(CharsetConversion, OtherCharsetsThroughUnicode)
{
    ExpectConverted({
        {"UTF-8 Japanese", "UTF-8", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", "日本語"},
        {"UTF-8 half-width katakana", "utf-8", "\xef\xbd\xb1", "\xB1"},
        {"UTF-8 emoji outside the BMP", "UTF-8", "a\xf0\x9f\x98\x80z", "a〓z"},
        {"UTF-8 Latin letter Shift_JIS lacks", "UTF-8", "caf\xc3\xa9", "caf〓"},
        {"UTF-8 Greek and Cyrillic Shift_JIS holds", "UTF-8", "\xce\xb1\xd0\x96", "\x83\xBF\x84\x47"},
        {"yen sign and overline have no Shift_JIS code, not the ASCII look-alikes", "UTF-8", "\xc2\xa5\xe2\x80\xbe",
         "〓〓"},
        {"UTF-8 NEC and IBM extensions", "UTF-8", "\xe2\x91\xa0\xe2\x85\xb0", "\x87\x40\xFA\x40"},
        {"US-ASCII is read as Windows-1252", "US-ASCII", "caf\xe9 \xa7", "caf〓 \x81\x98"},
        {"ISO-8859-1 is read as Windows-1252: curly quotes", "ISO-8859-1", "\x93x\x94", "\x81\x67x\x81\x68"},
        {"Windows-1252 symbols Shift_JIS holds", "windows-1252", "\xb0\xb1\xd7\xf7", "\x81\x8B\x81\x7D\x81\x7E\x81\x80"},
        {"ISO-8859-2", "ISO-8859-2", "\xa7\xa3", "\x81\x98〓"},
        {"ISO-8859-3", "ISO-8859-3", "\xb0\xe6", "\x81\x8B〓"},
        {"ISO-8859-4", "ISO-8859-4", "\xd7\xe0", "\x81\x7E〓"},
        {"ISO-8859-5 Cyrillic", "ISO-8859-5", "\xb0\xef", "\x84\x40\x84\x91"},
        {"ISO-8859-6", "ISO-8859-6", "a\xd9", "a〓"},
        {"ISO-8859-7 Greek", "ISO-8859-7", "\xc1\xd9", "\x83\x9F\x83\xB6"},
        {"ISO-8859-8", "ISO-8859-8", "\xaa\xe0", "\x81\x7E〓"},
        {"ISO-8859-9 is read as Windows-1254", "ISO-8859-9", "\xb0\xfe", "\x81\x8B〓"},
        {"ISO-8859-13", "ISO-8859-13", "\xb0\xe0", "\x81\x8B〓"},
        {"ISO-8859-15: the euro sign", "ISO-8859-15", "\xb0\xa4", "\x81\x8B〓"},
        {"Windows-1250", "windows-1250", "\xa7\xa3", "\x81\x98〓"},
        {"Windows-1251 Cyrillic", "Windows-1251", "\xc0\xff", "\x84\x40\x84\x91"},
        {"Windows-1253 Greek", "windows-1253", "\xd9", "\x83\xB6"},
        {"Windows-1254", "windows-1254", "\xb0\xfe", "\x81\x8B〓"},
        {"Windows-1255", "windows-1255", "\xb0\xe0", "\x81\x8B〓"},
        {"Windows-1256", "windows-1256", "\xb0\xda", "\x81\x8B〓"},
        {"Windows-1257", "windows-1257", "\xb0\xe0", "\x81\x8B〓"},
        {"Windows-1258", "windows-1258", "\xb0\xf0", "\x81\x8B〓"},
        {"KOI8-R", "KOI8-R", "\xe1\xd1", "\x84\x40\x84\x91"},
        {"KOI8-U", "koi8-u", "\xe1\xbd", "\x84\x40〓"},
        {"GB 2312 read as GB 18030", "GB2312", "\xc8\xd5\xb1\xbe", "日本"},
        {"GBK", "GBK", "\xc8\xd5\xb1\xbe", "日本"},
        {"a GBK hanzi Shift_JIS lacks", "GB18030", "\x81\x40z", "〓z"},
        {"Big5", "Big5", "\xa4\xe9\xa5\xbb", "日本"},
        {"EUC-KR hanja", "EUC-KR", "\xec\xed\xdc\xe2", "日本"},
        {"ks_c_5601-1987 hangul is not held", "ks_c_5601-1987", "\xc7\xd1" "a", "〓a"},
        {"plain ASCII under any label", "KOI8-R", "Re: hello", "Re: hello"},
    });
}

// The JIS forms (from ISO-2022-JP, EUC-JP and Unicode's JIS mapping) and the Windows forms
// (from CP932 and Unicode's Windows mapping) of seven characters give one Shift_JIS code.
TEST(CharsetConversion, BothFormsOfTheSevenCharactersGiveOneCode)
{
    ExpectConverted({
        {"wave dash, JIS form", "UTF-8", "\xe3\x80\x9c", "\x81\x60"},
        {"wave dash, Windows form", "UTF-8", "\xef\xbd\x9e", "\x81\x60"},
        {"wave dash from ISO-2022-JP", "ISO-2022-JP", "\x1b$B!A\x1b(B", "\x81\x60"},
        {"wave dash from EUC-JP", "EUC-JP", "\xa1\xc1", "\x81\x60"},
        {"em dash and horizontal bar", "UTF-8", "\xe2\x80\x94\xe2\x80\x95", "\x81\x5C\x81\x5C"},
        {"double vertical line and parallel to", "UTF-8", "\xe2\x80\x96\xe2\x88\xa5", "\x81\x61\x81\x61"},
        {"minus sign and full-width hyphen-minus", "UTF-8", "\xe2\x88\x92\xef\xbc\x8d", "\x81\x7C\x81\x7C"},
        {"cent signs", "UTF-8", "\xc2\xa2\xef\xbf\xa0", "\x81\x91\x81\x91"},
        {"pound signs", "UTF-8", "\xc2\xa3\xef\xbf\xa1", "\x81\x92\x81\x92"},
        {"not signs", "UTF-8", "\xc2\xac\xef\xbf\xa2", "\x81\xCA\x81\xCA"},
        {"pound sign from ISO-8859-1", "ISO-8859-1", "\xa3", "\x81\x92"},
    });
}

TEST(CharsetConversion, LabelsInAnyCaseAndTheirAliases)
{
    std::vector<Row> rows;
    for (const char* label : {"UTF-8", "utf-8", "Utf8", " utf-8 ", "\"UTF-8\"", "utf_8", "UTF_8"}) {
        rows.push_back({"UTF-8 label", label, "\xe6\x97\xa5", "日"});
    }
    for (const char* label : {"Shift_JIS", "SJIS", "x-sjis", "Windows-31J", "CP932", "MS_Kanji", "shift-jis"}) {
        rows.push_back({"Shift_JIS label", label, "\x93\xfa", "日"});
    }
    for (const char* label :
         {"ks_c_5601-1987", "euc-kr", "cp949", "KS_C_5601-1987", "euc_kr", "EUCKR", "ks_c_5601_1987"}) {
        rows.push_back({"EUC-KR label", label, "\xec\xed", "日"});
    }
    // Labels are compared as iconv and ICU compare them: "-" and "_" are the same, or nothing.
    for (const char* label : {"shift_jis", "SHIFT-JIS", "shiftjis", "Windows_31J", "cp_932"}) {
        rows.push_back({"a spelling with _, - or neither", label, "\x93\xfa", "日"});
    }
    for (const char* label : {"euc_jp", "EUC_JP", "eucjp", "x_euc_jp"}) {
        rows.push_back({"EUC-JP label", label, "\xc6\xfc", "日"});
    }
    for (const char* label : {"iso_2022_jp", "ISO2022JP"}) {
        rows.push_back({"ISO-2022-JP label", label, "\x1b$BF|\x1b(B", "日"});
    }
    for (const char* label : {"iso_8859_1", "ISO88591", "windows_1252", "iso_8859_15"}) {
        rows.push_back({"Latin label", label, "\xb0", "\x81\x8B"});
    }
    ExpectConverted(rows);
}

TEST(CharsetConversion, BrokenInputAndUnknownCharsets)
{
    ExpectConverted({
        {"UTF-8: a byte that starts nothing", "UTF-8", "a\xffz", "a〓z"},
        {"UTF-8: a sequence cut off by the end", "UTF-8", "a\xe6\x97", "a〓"},
        {"UTF-8: a character across the 4096th byte is whole", "UTF-8", std::string(4095, 'a') + "\xe6\x97\xa5\xff",
         std::string(4095, 'a') + "日〓"},
        {"UTF-8: a zero byte is a character", "UTF-8", "a\0b"s, "a\0b"s},
        {"UTF-8: bytes that are not UTF-8 among characters Shift_JIS lacks, each a geta mark", "UTF-8",
         "\xff\xed\x95\x9c\xff\xed\x95\x9c\xe6\x97\xa5\xfe", "〓〓〓〓日〓"},
        {"Shift_JIS: a lead byte at the end", "Shift_JIS", "a\x93", "a〓"},
        {"Shift_JIS: a lead byte before a line end", "Shift_JIS", "\x93\r\n", "〓\r\n"},
        {"EUC-JP: a lone high byte", "EUC-JP", "\xa4z", "〓z"},
        {"ISO-2022-JP: half a pair at the end", "ISO-2022-JP", "\x1b$B$", "〓"},
        {"ISO-2022-JP: an unknown escape is dropped", "ISO-2022-JP", "a\x1b" "Zb", "aZb"},
        {"ISO-2022-JP: an escape cut off by the end", "ISO-2022-JP", "a\x1b(", "a("},
        {"Windows-1252: a byte it leaves unassigned", "windows-1252", "a\x81z", "a〓z"},
        {"GBK: a lead byte without its trail byte", "GBK", "a\xc8 z", "a〓 z"},
        {"Big5: a lead byte at the end", "Big5", "a\xa4", "a〓"},
        {"empty text", "UTF-8", "", ""},
    });
    for (const char* label :
         {"x-unknown", "", "unknown-8bit", "utf-8x", "a-label-far-too-long-to-be-any-charset-name", "-", "_-_"}) {
        SCOPED_TRACE(label);
        std::string sjis = "untouched";
        EXPECT_EQ(ConvertCharsetToSjis(label, "caf\xe9", sjis), 0);
        EXPECT_EQ(sjis, "untouched");
    }
}

TEST(CharsetConversion, Utf8Validity)
{
    const struct {
        std::string bytes;
        bool valid;
    } rows[] = {
        {"plain ASCII", true},
        {"\xe6\x97\xa5\xf0\x9f\x98\x80", true},
        {"\xc0\xaf", false},          // overlong
        {"\xed\xa0\x80", false},      // surrogate
        {"\xf4\x90\x80\x80", false},  // above U+10FFFF
        {"\xe6\x97", false},          // cut off
        {"\x93\xfa\x96\x7b", false},  // Shift_JIS
        {"caf\xe9", false},           // Latin-1
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(IsUtf8(row.bytes), row.valid);
    }
}

}  // namespace
