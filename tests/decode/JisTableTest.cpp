// The JIS conversion against an independent converter: glibc's iconv, ISO-2022-JP to CP932,
// over every pair of JIS X 0208 that iconv knows, one pair at a time and as one long text.
#include "decode/JisToSjis.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <string>

namespace {

// Converts raw JIS text with iconv; returns 0 when iconv refuses it (an unassigned pair).
int IconvJisToCp932(const std::string& jis, std::string& sjis)
{
    iconv_t converter = iconv_open("CP932", "ISO-2022-JP");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv has no ISO-2022-JP to CP932 conversion";
        return 0;
    }
    std::string input = jis;
    std::string output(jis.size() * 2 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) {
        return 0;
    }
    output.resize(output.size() - outLeft);
    sjis = output;
    return 1;
}

std::string JisCharacter(int first, int second)
{
    return std::string{static_cast<char>(first), static_cast<char>(second)};
}

TEST(JisTable, EveryAssignedPairAgreesWithIconv)
{
    int assigned = 0;
    int disagreeing = 0;
    std::string allPairs = "\x1b$B";
    std::string allExpected;
    for (int first = 0x21; first <= 0x7E; ++first) {
        for (int second = 0x21; second <= 0x7E; ++second) {
            const std::string pair = JisCharacter(first, second);
            std::string expected;
            if (!IconvJisToCp932("\x1b$B" + pair + "\x1b(B", expected)) {
                continue;
            }
            ++assigned;
            allPairs += pair;
            allExpected += expected;

            unsigned char lead = static_cast<unsigned char>(first);
            unsigned char trail = static_cast<unsigned char>(second);
            JisPairToSjis(lead, trail);
            if (expected != JisCharacter(lead, trail) && ++disagreeing <= 20) {
                ADD_FAILURE() << std::hex << "pair " << first << ' ' << second << " gives " << int{lead} << ' '
                              << int{trail};
            }
        }
    }
    allPairs += "\x1b(B";

    EXPECT_EQ(disagreeing, 0);
    // JIS X 0208 assigns 6879 characters; far fewer would mean iconv judged most pairs
    // unassigned and the comparison proved little.
    EXPECT_GE(assigned, 6879);
    EXPECT_EQ(ConvertJisToSjis(allPairs), allExpected);
}

}  // namespace
