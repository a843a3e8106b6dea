// Encoded words, Base64 and quoted-printable: tables of inputs and the exact bytes they
// decode to, with well-formed words, broken words and other charsets kept apart.
#include "decode/EncodedWord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct Case {
    const char* behaviour;
    std::string input;
    std::string expected;
};

void ExpectDecoded(const std::vector<Case>& cases, std::string (*decode)(const std::string&))
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        EXPECT_EQ(decode(c.input), c.expected);
    }
}

TEST(EncodedWords, WellFormedWordsDecodeToTheirBytes)
{
    ExpectDecoded(
        {
            {"text without words is unchanged", "Re: meeting at 10 = fine?", "Re: meeting at 10 = fine?"},
            {"empty text", "", ""},
            {"ISO-2022-JP word keeps its escape sequences for the JIS conversion",
             "=?iso-2022-jp?B?GyRCJCIbKEI=?=", "\x1b$B$\"\x1b(B"},
            {"ISO-8859-1 Q word keeps its 8-bit byte unmapped", "=?iso-8859-1?Q?Caf=E9?=", "Caf\xE9"},
            {"text around a word is copied", "Subject: [=?us-ascii?Q?abc?=] end", "Subject: [abc] end"},
            {"space between adjacent words stays", "=?us-ascii?Q?a?= =?us-ascii?Q?b?=", "a b"},
            {"folding whitespace between words stays", "=?us-ascii?Q?a?=\r\n =?us-ascii?Q?b?=", "a\r\n b"},
            {"words directly adjacent", "=?us-ascii?Q?a?==?us-ascii?Q?b?=", "ab"},
            {"opening in capitals", "=?ISO-2022-JP?B?GyRCJCIbKEI=?=", "\x1b$B$\"\x1b(B"},
            {"opening in mixed case", "=?Us-AsCiI?q?x?=", "x"},
            {"Q word: equals sign and two digits", "=?us-ascii?Q?=41=42?=", "AB"},
            {"Q word: underscore stays an underscore", "=?us-ascii?Q?a_b?=", "a_b"},
            {"empty word yields nothing", "a=?us-ascii?Q?" "?=b", "ab"},
            {"US-ASCII B word", "=?us-ascii?B?SGVsbG8=?=", "Hello"},
            {"ISO-8859-2 Q word", "=?iso-8859-2?Q?=B1?=", "\xB1"},
            {"ISO-8859-1 B word", "=?iso-8859-1?B?6Q==?=", "\xE9"},
            {"ISO-8859-2 B word", "=?iso-8859-2?B?sQ==?=", "\xB1"},
            {"each word is decoded by itself: a group split across words is not joined",
             "=?us-ascii?B?QU?==?us-ascii?B?JD?=", "A@$0"},
            {"a word ending in one padding sign does not swallow the next word",
             "=?iso-2022-jp?B?GyRCJCIbKEI=?= =?iso-2022-jp?B?GyRCJCQbKEI=?=",
             "\x1b$B$\"\x1b(B \x1b$B$$\x1b(B"},
        },
        DecodeEncodedWords);
}

TEST(EncodedWords, LongWordIsDecodedWhole)
{
    std::string encoded;
    std::string expected;
    for (int group = 0; group < 1000; ++group) {
        encoded += "QUJD";
        expected += "ABC";
    }
    EXPECT_EQ(DecodeEncodedWords("<=?us-ascii?B?" + encoded + "?=>"), "<" + expected + ">");

    const std::string quoted(3000, 'q');
    EXPECT_EQ(DecodeEncodedWords("=?iso-8859-1?Q?" + quoted + "?=x"), quoted + "x");
}

TEST(EncodedWords, WordsAreFoundAtEveryPosition)
{
    // The text before the word holds "=" and "?" in every place, but no opening.
    const std::string filler = "=?x==?\x1b$B?=";
    for (std::size_t before = 0; before < 40; ++before) {
        std::string plain;
        while (plain.size() < before) {
            plain += filler[plain.size() % filler.size()];
        }
        SCOPED_TRACE(plain);
        EXPECT_EQ(DecodeEncodedWords(plain + "=?us-ascii?Q?abc?=" + plain), plain + "abc" + plain);
        EXPECT_EQ(DecodeEncodedWords(plain + "=?iso-2022-jp?B?QUJD?="), plain + "ABC");
    }
}

TEST(EncodedWords, MalformedWordsDecodeByTheSameRules)
{
    ExpectDecoded(
        {
            {"closing ? followed by another byte loses that byte", "=?us-ascii?Q?ab?xc", "abc"},
            {"closing ? as the last byte still ends the word", "=?us-ascii?Q?ab?", "ab"},
            {"word never closed is dropped from its opening to the end", "keep=?us-ascii?Q?lost", "keep"},
            {"word never closed after a closed one", "=?us-ascii?Q?a?=b=?us-ascii?B?QUJD", "ab"},
            {"the first ? ends the word", "=?us-ascii?Q?a?b?=", "a?="},
            {"opening cut short by the end of the text", "x=?us-asc", "x=?us-asc"},
            {"bare opening marks", "=?", "=?"},
            {"a lone equals sign", "=", "="},
            {"opening with nothing after it is a word left open", "=?iso-2022-jp?B?", ""},
            {"a byte that differs from - only in the case bit does not match", "=?us\rascii?Q?a?=",
             "=?us\rascii?Q?a?="},
            {"a byte that differs from ? only in the case bit does not match", "=\x1fus-ascii?Q?a?=",
             "=\x1fus-ascii?Q?a?="},
            {"a byte that differs from 8 only in the case bit does not match", "=?iso-\x18\x38\x35\x39-1?Q?a?=",
             "=?iso-\x18\x38\x35\x39-1?Q?a?="},
            {"Q word ending in an equals sign gives the byte of two missing digits", "=?us-ascii?Q?a=?=",
             "a\xD0"},
            {"B word with a space: the space has its own value", "=?us-ascii?B?QU A?=", "AH"},
            {"text ends at its first zero byte", "ab\0=?us-ascii?Q?c?="s, "ab"},
            {"a zero byte inside a word leaves the word open", "=?us-ascii?Q?c\0?="s, ""},
        },
        DecodeEncodedWords);
}

TEST(EncodedWords, OtherCharsetsAndEncodingsPassThroughUnchanged)
{
    const std::vector<std::string> words = {
        "=?UTF-8?B?5pel5pys6Kqe?=",
        "=?iso-2022-jp?Q?=1B$B$=22=1B(B?=",
        "=?Shift_JIS?B?k/qWe4zq?=",
        "=?EUC-JP?B?xvzL3A==?=",
        "=?iso-8859-15?Q?a?=",
        "=?iso-8859-3?B?QQ==?=",
        "=?us-ascii*en?Q?a?=",
        "=?us-ascii?X?a?=",
        "=? us-ascii?Q?a?=",
    };
    for (const std::string& word : words) {
        SCOPED_TRACE(word);
        EXPECT_EQ(DecodeEncodedWords(word), word);
        EXPECT_EQ(DecodeEncodedWords("a " + word + " =?us-ascii?Q?b?="), "a " + word + " b");
    }
}

TEST(Base64, DecodesGroupsUpToTheirFirstZeroByte)
{
    ExpectDecoded(
        {
            {"one byte with two padding signs", "QQ==", "A"},
            {"full group", "QUJD", "ABC"},
            {"missing padding", "QUJDRA", "ABCD"},
            {"empty", "", ""},
            {"only padding", "====", ""},
            {"zero in the first place drops the whole group", "AEFCQUJD", "ABC"},
            {"zero in the second place keeps the first byte", "QQBBQUJD", "AABC"},
            {"zero in the third place keeps two bytes", "QUIAQUJD", "ABABC"},
            {"an equals sign inside the text is the character of value 61", "QQ=B", "A\x0F" "A"},
            {"values above 63 spill into the neighbour's bits", "QU A", "AH"},
            {"bytes from 0x80 up stand for themselves, not for negative values", "\xFF\xFF\xFF\xFF",
             "\xFF\xFF\xFF"},
            {"line ends are not skipped", "QU\r\nJD", "ACJ$0"},
            {"text ends at its first zero byte", "QUJD\0QUJD"s, "ABC"},
        },
        DecodeBase64);
}

TEST(Base64, CharacterValues)
{
    const struct {
        char character;
        int value;
    } values[] = {{'A', 0},  {'Z', 25},   {'a', 26},  {'z', 51},  {'0', 52},   {'9', 61},
                  {'+', 62}, {'/', 63},   {'=', 61},  {' ', 32},  {'\0', 0},   {'-', 45},
                  {'\x7F', 127}, {'\x80', 128}, {'\xFF', 255}};
    for (const auto& entry : values) {
        SCOPED_TRACE(static_cast<int>(static_cast<unsigned char>(entry.character)));
        EXPECT_EQ(Base64Value(entry.character), entry.value);
    }
}

TEST(QuotedPrintable, DecodesDigitsByTheUncheckedSubtraction)
{
    ExpectDecoded(
        {
            {"upper-case digits", "=41=4A", "AJ"},
            {"lower-case digits", "=4a", "J"},
            {"underscore stays", "a_b", "a_b"},
            {"zero byte appends nothing", "x=00y", "xy"},
            {"equals sign at the end: both digits missing", "a=", "a\xD0"},
            {"one digit missing at the end", "=4", "\xD0"},
            {"low digit not masked to four bits", "=4z", "c"},
            {"high digit's overflow is shifted out", "=G1", "\x01"},
            {"digit bytes from 0x80 up count as negative", "=\x80\x80", "P"},
            {"line break after an equals sign is taken as digits", "a=\r\nb", "a\xDA" "b"},
            {"text ends at its first zero byte", "=41\0=42"s, "A"},
            {"zero byte right after an equals sign counts as the end", "=4\0" "1"s, "\xD0"},
        },
        DecodeQuotedPrintable);
}

}  // namespace
