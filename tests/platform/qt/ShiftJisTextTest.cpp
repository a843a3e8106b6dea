// The Shift_JIS <-> Unicode crossing of the Qt shell: what the window shows for the core's
// bytes, and which bytes the core gets back from a field.
#include <gtest/gtest.h>

#include <string>

#include "platform/qt/ShiftJisText.h"

namespace {

struct RoundTrip {
    const char* why;
    std::string shiftJis;
    const char* unicode;  // UTF-8
};

// Texts that must show right and come back byte for byte.
const RoundTrip kRoundTrips[] = {
    {"second byte 0x5C is no backslash", "\x83\x5C", "ソ"},
    {"second byte 0x5C in a kanji", "\x95\x5C", "表"},
    {"half-width katakana are single bytes", "\xBF\xB9\xAF\xC4", "ｿｹｯﾄ"},
    {"0x5C and 0x7E alone stay ASCII, so paths survive", "C:\\dir~1", "C:\\dir~1"},
    {"the socket failure message", "Windows \xBF\xB9\xAF\xC4\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42",
     "Windows ｿｹｯﾄの初期化に失敗しました。"},
    {"half-width voiced marks next to a kanji", "\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1", "ﾊﾞｰｼﾞｮﾝ情報"},
    {"a vendor character of code page 932", "\x87\x40", "①"},
    {"wave dash and minus take the code page 932 forms", "\x81\x60\x81\x7C", "～－"},
    {"empty", "", ""},
};

TEST(ShiftJisBoundary, JapaneseTextShowsAndComesBackUnchanged) {
    for (const RoundTrip& row : kRoundTrips) {
        SCOPED_TRACE(row.why);
        QString shown = FromShiftJis(row.shiftJis);
        EXPECT_EQ(shown, QString::fromUtf8(row.unicode));
        EXPECT_EQ(ToShiftJis(shown), row.shiftJis);
    }
}

TEST(ShiftJisBoundary, TextTypedInAFieldReachesTheCoreAsShiftJis) {
    EXPECT_EQ(ToShiftJis(QString::fromUtf8("表示ソフト")), "\x95\x5C\x8E\xA6\x83\x5C\x83\x74\x83\x67");
    EXPECT_EQ(ToShiftJis(QStringLiteral("pop.example.jp:1110")), "pop.example.jp:1110");
}

struct Damaged {
    const char* why;
    std::string input;
    const char* expected;  // UTF-8
};

// Bytes that are no code page 932 text still show, each bad byte as one replacement character.
const Damaged kDamagedShiftJis[] = {
    {"lead byte cut off at the end", "ab\x83", "ab\xEF\xBF\xBD"},
    {"byte 0x80 has no character", "a\x80" "b", "a\xEF\xBF\xBD" "b"},
    {"lead byte before a byte that cannot follow it", "\x83\x20x", "\xEF\xBF\xBD x"},
    {"a zero byte ends the text", std::string("ab\0cd", 5), "ab"},
    {"a high byte run of 0xFF", "\xFF\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
};

TEST(ShiftJisBoundary, DamagedBytesShowAsReplacementCharacters) {
    for (const Damaged& row : kDamagedShiftJis) {
        SCOPED_TRACE(row.why);
        EXPECT_EQ(FromShiftJis(row.input), QString::fromUtf8(row.expected));
    }
}

TEST(ShiftJisBoundary, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(ToShiftJis(QString::fromUtf8("5€")), "5?");
    EXPECT_EQ(ToShiftJis(QString::fromUtf8("a😀b")), "a?b");  // one mark for a surrogate pair
    EXPECT_EQ(ToShiftJis(QString::fromUtf8("café\x83")), "caf??");
}

TEST(ShiftJisBoundary, LongTextCrossesWhole) {
    // Longer than the converter's working buffer, with a two-byte character at every seam.
    std::string message;
    QString expected;
    for (int i = 0; i < 5000; ++i) {
        message += "\x83\x5C" "a";
        expected += QString::fromUtf8("ソa");
    }
    QString shown = FromShiftJis(message);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(ToShiftJis(shown), message);
}

}  // namespace
