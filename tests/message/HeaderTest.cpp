// Header fields found by name and unfolded, encoded words decoded by charset, and the summary
// line built from them: one table per decision, broken inputs in their own table.
// Compiled with the Shift_JIS execution character set.
#include <gtest/gtest.h>

#include <string>

#include "ExpectRows.h"
#include "message/HeaderFields.h"
#include "message/HeaderText.h"
#include "message/MessageText.h"
#include "message/TransferEncoding.h"

using namespace std::string_literals;

namespace {

std::string Repeated(const std::string& text, int times)
{
    std::string repeated;
    for (int n = 0; n < times; ++n) {
        repeated += text;
    }
    return repeated;
}

TEST(FieldLookup, FirstFieldOfTheNameInAnyCaseUnfoldedAndTrimmed)
{
    ExpectRows({
        {"both fields", "From: a@example.com\r\nSubject: Hi\r\n\r\nbody\r\n", "a@example.com : Hi"},
        {"names in capitals", "FROM: a\r\nSUBJECT: b\r\n", "a : b"},
        {"names in small letters", "from: a\r\nsubject: b\r\n", "a : b"},
        {"no blank after the colon", "From:a\r\nSubject:b\r\n", "a : b"},
        {"blanks before the colon (obsolete syntax)", "From : a\r\nSubject\t: b\r\n", "a : b"},
        {"Resent-From is another field", "Resent-From: r\r\nFrom: a\r\n", "a : (No Subject)"},
        {"X-Original-Subject is another field", "X-Original-Subject: x\r\nSubject: s\r\n", "<unknown> : s"},
        {"a name inside another field's value is no field", "X-Note: From: no\r\nSubject: s\r\n", "<unknown> : s"},
        {"the first of two fields counts", "Subject: one\r\nSubject: two\r\n", "<unknown> : one"},
        {"folding removed, the blank kept", "Subject: a long\r\n subject\r\n\tthat goes on\r\n",
         "<unknown> : a long subject\tthat goes on"},
        {"blanks trimmed at both ends", "Subject: \t padded \t\r\n", "<unknown> : padded"},
        {"an empty subject", "From: a\r\nSubject:\r\n", "a : "},
        {"line ends of LF alone", "From: a\nSubject: b\n c\n\nbody", "a : b c"},
        {"no field at all", "X-Mailer: x\r\n", "<unknown> : (No Subject)"},
        {"fields after the empty line are body", "X: 1\r\n\r\nFrom: body\r\n", "<unknown> : (No Subject)"},
        {"a mailbox From line before the header", "From a@b Sat Jan  3 01:05:34 1996\r\nFrom: c\r\n",
         "c : (No Subject)"},
    }, SummaryLine);
}

TEST(FieldLookup, BrokenHeaders)
{
    ExpectRows({
        {"empty text", "", "<unknown> : (No Subject)"},
        {"no line end after the value", "Subject: s", "<unknown> : s"},
        {"a continuation line before any field ends the header", " x\r\nSubject: s\r\n",
         "<unknown> : (No Subject)"},
        {"a line without a colon ends the header", "From: a\r\nnot a field\r\nSubject: s\r\n", "a : (No Subject)"},
        {"a name with a blank inside is no field", "Sub ject: s\r\n", "<unknown> : (No Subject)"},
        {"a colon with no name", ": s\r\nSubject: t\r\n", "<unknown> : (No Subject)"},
        {"CR and LF inside an encoded word become blanks", "Subject: =?utf-8?q?a=0D=0Ab?=\r\n", "<unknown> : a  b"},
        {"zero bytes are left out", "Subject: a\0b\r\n"s, "<unknown> : ab"},
        {"a From folded into openings that never close stays as it is",
         "From: " + Repeated("=?x?Q?y\r\n ", 300) + "x\r\n", Repeated("=?x?Q?y ", 300) + "x : (No Subject)"},
    }, SummaryLine);
}

TEST(EncodedWords, DecodedByTheirOwnCharsets)
{
    ExpectRows({
        {"UTF-8 B word in small letters", "=?utf-8?b?5pel5pys6Kqe?=", "日本語"},
        {"UTF-8 Q word in capitals", "=?UTF-8?Q?=E6=97=A5=E6=9C=AC?=", "日本"},
        {"charset and encoding in mixed case", "=?Utf-8?B?5pel?=", "日"},
        {"RFC 2231 language suffix ignored", "=?UTF-8*ja?Q?=E6=97=A5?=", "日"},
        {"underscore in Q is a blank", "=?utf-8?q?a_b?=", "a b"},
        {"missing Base64 padding tolerated", "=?utf-8?b?5pelQQ?=x", "日Ax"},
        {"white space between adjacent words dropped", "=?utf-8?b?5pel?= \r\n =?utf-8?b?5pys?=", "日本"},
        {"white space between a word and text kept", "=?utf-8?b?5pel?= x =?utf-8?b?5pys?=", "日 x 本"},
        {"a character split across two words comes out whole", "=?UTF-8?B?5pel5g==?= =?UTF-8?B?nKzoqp4=?=", "日本語"},
        {"split across words whose labels differ in case", "=?utf-8?q?=E6=97?= =?UTF-8?Q?=A5?=", "日"},
        {"ISO-2022-JP words joined: an empty ASCII run between escapes",
         "=?ISO-2022-JP?B?GyRCJCIbKEI=?= =?ISO-2022-JP?B?GyRCJCQbKEI=?=", "あい"},
        {"ISO-2022-JP in Q form", "=?iso-2022-jp?q?=1B$B$=22=1B(B?=", "あ"},
        {"words of two charsets, each converted by itself",
         "=?iso-2022-jp?B?GyRCOzNFRA==?= =?utf-8?b?5pel?=", "山田日"},
        {"Shift_JIS word", "=?Shift_JIS?B?k/qWe4zq?=", "日本語"},
        {"EUC-JP word", "=?EUC-JP?B?xvzL3A==?=", "日本"},
        {"Latin-1 word: letters Shift_JIS lacks become geta marks", "=?iso-8859-1?q?Fran=E7ois?=", "Fran〓ois"},
        {"ks_c_5601-1987 hanja", "=?ks_c_5601-1987?B?7O3c4g==?=", "日本"},
        {"GB2312 word", "=?gb2312?B?yNWxvg==?=", "日本"},
        {"Big5 word", "=?big5?B?pOmluw==?=", "日本"},
        {"emoji", "=?UTF-8?B?8J+YgA==?= hi", "〓 hi"},
        {"words glued to other text", "[SPAM]=?utf-8?B?5pel?=!", "[SPAM]日!"},
        {"word inside a quoted string", "\"=?utf-8?B?5pel?=\" <a@b>", "\"日\" <a@b>"},
        {"word longer than 75 characters", "=?utf-8?B?" + Repeated("QUJD", 50) + "?=", Repeated("ABC", 50)},
        {"empty word", "a=?UTF-8?Q?" "?=b", "ab"},
        {"raw 8-bit UTF-8 text", "\xe6\x97\xa5 x", "日 x"},
        {"raw Shift_JIS text stays", "\x93\xfa x", "日 x"},
        {"raw ISO-2022-JP text", "\x1b$BF|\x1b(B x", "日 x"},
        {"US-ASCII word with 8-bit bytes: the bytes decide", "=?us-ascii?q?=E6=97=A5?=", "日"},
        {"a word ending in one padding sign does not swallow the next",
         "=?iso-2022-jp?B?GyRCJCIbKEI=?= =?iso-2022-jp?B?GyRCJCQbKEI=?=", "あい"},
        {"charset labels with _ for -", "=?utf_8?B?5pel?= =?EUC_JP?B?y9w=?= =?shift-jis?B?jOo=?=", "日本語"},
        {"words joined across spellings of one label", "=?utf-8?q?=E6=97?= =?UTF_8?Q?=A5?=", "日"},
    }, DecodeHeaderValue);
}

TEST(EncodedWords, BrokenWords)
{
    ExpectRows({
        {"unknown charset keeps its bytes", "=?x-unknown?q?ab=41?=", "abA"},
        {"unknown charset with UTF-8 bytes", "=?x-unknown?b?5pel?=", "日"},
        {"unknown encoding is no word", "=?utf-8?x?abc?=", "=?utf-8?x?abc?="},
        {"never closed", "=?utf-8?q?abc", "=?utf-8?q?abc"},
        {"no charset", "=??q?abc?=", "=??q?abc?="},
        {"blank in the charset", "=?utf 8?q?abc?=", "=?utf 8?q?abc?="},
        {"Q escape with one digit stays", "=?utf-8?q?a=4?=", "a=4"},
        {"Q escape with no hex digits stays", "=?utf-8?q?a=zz?=", "a=zz"},
        {"characters outside the Base64 alphabet skipped", "=?utf-8?b?5p*el?=", "日"},
        {"only padding", "=?utf-8?b?====?=", ""},
        {"lone opening marks", "=? =?", "=? =?"},
        {"invalid UTF-8 inside a UTF-8 word", "=?utf-8?q?a=FFb?=", "a〓b"},
        {"half a JIS pair at the end of a word", "=?iso-2022-jp?b?GyRCJA==?=", "〓"},
        {"openings that never close stay as they are", Repeated("=?a?B?x", 500), Repeated("=?a?B?x", 500)},
        {"unclosed Q openings stay as they are", Repeated("=?utf-8?Q?abc ", 300), Repeated("=?utf-8?Q?abc ", 300)},
        {"the first ?= closes the first opening, over the others", "=?utf-8?Q?a =?utf-8?Q?b?=", "a =?utf-8?Q?b"},
        {"a line end before the ?= is no word; the next word is", "=?utf-8?q?a\r\nb?= =?utf-8?q?c?=",
         "=?utf-8?q?a\r\nb?= c"},
        {"an opening with a blank in its charset, then a word", "=?a b?q?x?= =?utf-8?q?y?=", "=?a b?q?x?= y"},
        {"a word, then an opening that never closes", "=?utf-8?q?a?= =?utf-8?q?b", "a =?utf-8?q?b"},
    }, DecodeHeaderValue);
}

TEST(EncodedWords, LenientDecoders)
{
    EXPECT_EQ(DecodeLenientBase64("QUJD\r\nREVG"), "ABCDEF");
    EXPECT_EQ(DecodeLenientBase64("QQ"), "A");
    EXPECT_EQ(DecodeLenientBase64("QQ=="), "A");
    EXPECT_EQ(DecodeQEncoding("a_=5F=5f"), "a __");
}

TEST(HeaderFields, ValuesKeepTheirRawRangeAndUnfoldOnRequest)
{
    const MessageEntity entity = ParseEntity("A: 1\r\nB:\r\n 2\r\n  3\r\nC: x\r\n\r\nbody\r\n");
    ASSERT_EQ(entity.fields.size(), 3u);
    EXPECT_EQ(entity.fields[1].name, "B");
    EXPECT_EQ(entity.fields[1].value, "\r\n 2\r\n  3");
    EXPECT_EQ(UnfoldedValue(entity.fields[1].value), "2  3");
    EXPECT_EQ(entity.body, "body\r\n");
    EXPECT_EQ(FieldValue(entity, "c"), "x");
    EXPECT_EQ(FieldValue(entity, "D"), "");
}

}  // namespace
