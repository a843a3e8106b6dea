// The ISO-2022-JP to Shift_JIS conversion: escape sequences, pairs, the ends of the text,
// and whole header values decoded and converted as the mail list shows them.
// Compiled with the Shift_JIS execution character set: Japanese literals are Shift_JIS bytes.
#include "decode/EncodedWord.h"
#include "decode/JisToSjis.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct Case {
    const char* behaviour;
    std::string input;
    std::string expected;
};

void ExpectConverted(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.behaviour);
        EXPECT_EQ(ConvertJisToSjis(c.input), c.expected);
    }
}

TEST(JisPairToSjis, ConvertsPairsInPlace)
{
    const struct {
        unsigned char first, second, lead, trail;
    } pairs[] = {
        {0x30, 0x21, 0x88, 0x9F},  // first kanji row
        {0x24, 0x22, 0x82, 0xA0},  // hiragana
        {0x21, 0x21, 0x81, 0x40},  // ideographic space, the first pair
        {0x21, 0x5F, 0x81, 0x7E},  // odd row, last trail byte before the gap at 0x7F
        {0x21, 0x60, 0x81, 0x80},  // odd row, trail byte steps over 0x7F
        {0x21, 0x7E, 0x81, 0x9E},  // odd row, last column
        {0x22, 0x21, 0x81, 0x9F},  // even row, first column
        {0x5E, 0x21, 0x9F, 0x9F},  // last pair below the threshold
        {0x5F, 0x21, 0xE0, 0x40},  // first pair at the threshold takes the 0xE0 lead bytes
        {0x7E, 0x7E, 0xEF, 0xFC},  // the last pair
        {0x0D, 0x0A, 0x77, 0x29},  // CR LF met in two-byte mode goes through the same arithmetic
        {0x9F, 0x21, 0x00, 0x40},  // lead byte wraps to zero
        {0x22, 0x82, 0x81, 0x00},  // trail byte wraps to zero
    };
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << std::hex << int{pair.first} << ' ' << int{pair.second});
        unsigned char first = pair.first;
        unsigned char second = pair.second;
        JisPairToSjis(first, second);
        EXPECT_EQ(first, pair.lead);
        EXPECT_EQ(second, pair.trail);
    }
}

TEST(JisToSjis, EscapeSequencesSwitchModes)
{
    ExpectConverted({
        {"ASCII without ESC is unchanged", "Re: hello, world\r\n", "Re: hello, world\r\n"},
        {"Shift_JIS text without ESC is unchanged", "日本語のテスト", "日本語のテスト"},
        {"one JIS character between the usual escapes", "\x1b$B$\"\x1b(B", "あ"},
        {"the 1978 edition's escape", "\x1b$@$\"\x1b(B", "あ"},
        {"JIS X 0201 Roman is single-byte", "\x1b$B$\"\x1b(Jab", "あab"},
        {"katakana announced by ESC ( I come out as plain 7-bit bytes", "\x1b(I12\x1b(B", "12"},
        {"any ESC x y with x other than ( selects two-byte mode", "\x1b" "K!0!", "\x88\x9F"},
        {"a four-byte escape leaves its fourth byte to start a pair", "\x1b$(D0!", "\x92\xAE"},
        {"SO and SI are ordinary bytes in single-byte mode", "a\x0e" "b\x0f", "a\x0e" "b\x0f"},
        {"SO and SI are paired in two-byte mode", "\x1b$B\x0e\x0f", "\x77\x8D"},
        {"mode carries across line ends and the separator of a summary line",
         "\x1b$B$\"\r\n : ", "あ\x77\x29\x80\xB8"},
        {"an odd pair count puts the closing ESC into a pair and two-byte mode goes on",
         "\x1b$B$\"$\x1b(BAB", "あ\x82\x99\x84\xC0\x91\x61"},
        {"text around a Japanese word", "[\x1b$BF|K\\8l\x1b(B]", "[日本語]"},
    });
}

TEST(JisToSjis, EndOfTextIsNeverReadPast)
{
    ExpectConverted({
        {"empty", "", ""},
        {"ESC as the last byte", "ab\x1b", "ab"},
        {"escape cut short after two bytes", "ab\x1b(", "ab"},
        {"escape cut short in two-byte mode", "\x1b$B$\"\x1b(", "あ"},
        {"a lone byte in two-byte mode before the end is dropped", "\x1b$B$\"$", "あ"},
        {"only a lone byte after the switch", "\x1b$B$", ""},
        {"text ends at its first zero byte", "AB\0CD"s, "AB"},
        {"a zero byte is no partner for a lone byte", "\x1b$B$\"$\0\""s, "あ"},
        {"a lead byte that wraps to zero ends the text", "AB\x1b$B\x9f!CD", "AB"},
        {"another lead byte that wraps to zero", "AB\x1b$B\xa0!CD", "AB"},
        {"a trail byte that wraps to zero ends the text after the lead byte", "AB\x1b$Ba\xe1" "CD",
         "AB\xE1"},
        {"an even row's trail byte that wraps to zero", "\x1b$B\x22\x82" "CD", "\x81"},
    });
}

// Long runs go through a faster path than single pairs; whatever bytes interrupt a run and
// wherever they stand, the result must be that of converting one pair at a time.
TEST(JisToSjis, LongRunsConvertLikeOnePairAtATime)
{
    const unsigned char interruptions[] = {'\r', '\n', ' ', 0x7F, 0x80, 0x9F, 0xA0, 0xE0, 0xE1,
                                           0x82, 0x83, 0xFF, 0x20, 0x01, 0x1B};
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t bound) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % bound;
    };
    for (int round = 0; round < 400; ++round) {
        std::string pairs;
        const std::uint32_t pairCount = 1 + next(40);
        for (std::uint32_t n = 0; n < pairCount; ++n) {
            unsigned char first = static_cast<unsigned char>(0x21 + next(94));
            unsigned char second = static_cast<unsigned char>(0x21 + next(94));
            if (next(6) == 0) {
                const unsigned char odd = interruptions[next(sizeof interruptions)];
                // ESC only in a pair's second place, where it is data.
                if (next(2) == 0 && odd != 0x1B) {
                    first = odd;
                } else {
                    second = odd;
                }
            }
            pairs += static_cast<char>(first);
            pairs += static_cast<char>(second);
        }
        std::string expected = "ab";
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            unsigned char lead = static_cast<unsigned char>(pairs[i]);
            unsigned char trail = static_cast<unsigned char>(pairs[i + 1]);
            JisPairToSjis(lead, trail);
            if (lead == 0) {
                break;
            }
            expected += static_cast<char>(lead);
            if (trail == 0) {
                break;
            }
            expected += static_cast<char>(trail);
        }
        SCOPED_TRACE(round);
        EXPECT_EQ(ConvertJisToSjis("ab\x1b$B" + pairs), expected);
    }
}

TEST(JisToSjis, EscapeIsFoundAtEveryPosition)
{
    for (std::size_t before = 0; before < 40; ++before) {
        SCOPED_TRACE(before);
        const std::string plain(before, 'a');
        EXPECT_EQ(ConvertJisToSjis(plain + "\x1b$B$\"\x1b(Bxyz"), plain + "あxyz");

        // "$$" is the hiragana 0x82 0xA2; with an odd count the closing ESC is paired as data,
        // "(B" makes a pair of its own and two-byte mode goes on over "xy".
        std::string expected;
        for (std::size_t n = 0; n < before / 2; ++n) {
            expected += "\x82\xA2";
        }
        expected += before % 2 == 0 ? "xyz" : "\x82\x99\x84\xC0\xEC\xF7";
        EXPECT_EQ(ConvertJisToSjis("\x1b$B" + std::string(before, '$') + "\x1b(Bxyz"), expected);
    }
}

TEST(JisToSjis, ModeDoesNotCarryIntoTheNextCall)
{
    EXPECT_EQ(ConvertJisToSjis("\x1b$B"), "");
    EXPECT_EQ(ConvertJisToSjis("AB"), "AB");
}

TEST(HeaderValues, DecodedAndConvertedAsTheMailListShowsThem)
{
    ExpectConverted({
        {"edge example: one hiragana", DecodeEncodedWords("=?iso-2022-jp?B?GyRCJCIbKEI=?="), "あ"},
        {"subject in capitals", DecodeEncodedWords("=?ISO-2022-JP?B?GyRCN29MPiVGJTklSBsoQg==?="),
         "件名テスト"},
        {"sender with an address",
         DecodeEncodedWords("=?iso-2022-jp?B?GyRCRnxLXDhsGyhC?= <taro@example.jp>"), "日本語 <taro@example.jp>"},
        {"summary line: sender and subject joined",
         DecodeEncodedWords("=?iso-2022-jp?B?GyRCRnxLXDhsGyhC?=") + " : " +
             DecodeEncodedWords("Re: =?ISO-2022-JP?B?GyRCN29MPiVGJTklSBsoQg==?="),
         "日本語 : Re: 件名テスト"},
        {"two adjacent Japanese words keep the space between them",
         DecodeEncodedWords("=?iso-2022-jp?B?GyRCJCIbKEI=?= =?iso-2022-jp?B?GyRCJCQbKEI=?="), "あ い"},
        {"raw 7-bit JIS in a header", DecodeEncodedWords("\x1b$BF|K\\8l\x1b(B"), "日本語"},
    });
}

}  // namespace
