// The settings file on POSIX: defaults when it is missing, the round trip of the five
// settings, case-insensitive names, other sections and keys kept, the 4095-byte cut, the
// decimal reading of integers, and the atomic, private write.
#include <climits>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "TemporaryDirectory.h"
#include "platform/posix/PosixProfile.h"

namespace {

const char kFile[] = "kelvor.INI";
const char kSection[] = "Settings";

class PosixProfileTest : public ::testing::Test {
protected:
    TemporaryDirectory directory;
    PosixProfile profile{directory.Path()};

    unsigned FileMode() const
    {
        struct stat info;
        if (stat(profile.PathOf(kFile).c_str(), &info) != 0)
            return 0;
        return info.st_mode & 07777;
    }
};

TEST_F(PosixProfileTest, MissingFileGivesTheDefaultsAndReadingCreatesNothing)
{
    EXPECT_EQ(profile.GetInt(kSection, "INT", 10, kFile), 10);
    EXPECT_EQ(profile.GetInt(kSection, "PUP", 0, kFile), 0);
    EXPECT_EQ(profile.GetString(kSection, "POP", "", kFile), "");
    EXPECT_EQ(profile.GetString(kSection, "USR", "someone", kFile), "someone");
    EXPECT_TRUE(directory.Entries().empty());
}

TEST_F(PosixProfileTest, FirstWriteCreatesAPrivateFileAndTheSettingsReadBackUnaltered)
{
    const std::string password = " pa=ss\x82\xA0;#[x] ";  // blanks, '=', Shift_JIS, comment marks
    ASSERT_EQ(profile.WriteString(kSection, "INT", "10", kFile), 1) << profile.LastError();
    EXPECT_EQ(FileMode(), 0600u);
    ASSERT_EQ(profile.WriteString(kSection, "POP", "pop.example:1100", kFile), 1);
    ASSERT_EQ(profile.WriteString(kSection, "USR", "", kFile), 1);
    ASSERT_EQ(profile.WriteString(kSection, "PWD", password, kFile), 1);
    ASSERT_EQ(profile.WriteString(kSection, "PUP", "1", kFile), 1);

    EXPECT_EQ(directory.ReadFile(kFile),
              "[Settings]\nINT=10\nPOP=pop.example:1100\nUSR=\nPWD=" + password + "\nPUP=1\n");
    EXPECT_EQ(profile.GetInt(kSection, "INT", 99, kFile), 10);
    EXPECT_EQ(profile.GetString(kSection, "POP", "", kFile), "pop.example:1100");
    EXPECT_EQ(profile.GetString(kSection, "USR", "default", kFile), "");
    EXPECT_EQ(profile.GetString(kSection, "PWD", "", kFile), password);
    EXPECT_EQ(profile.GetInt(kSection, "PUP", 0, kFile), 1);
    EXPECT_EQ(FileMode(), 0600u);
    // Nothing but the file is left beside it: the temporary file was renamed over it.
    EXPECT_EQ(directory.Entries(), std::vector<std::string>{kFile});
}

TEST_F(PosixProfileTest, RewriteKeepsOtherSectionsKeysAndCommentsAndTightensTheMode)
{
    directory.WriteFile(kFile,
                        "; written by hand\n"
                        "[Other]\n"
                        "INT=77\n"
                        "\n"
                        "[settings]\n"
                        "Extra=kept\n"
                        "int=3\n"
                        "\n"
                        "[Later]\n"
                        "POP=not this one\n");
    chmod(profile.PathOf(kFile).c_str(), 0644);

    EXPECT_EQ(profile.GetInt(kSection, "INT", 10, kFile), 3);  // names without regard to case
    EXPECT_EQ(profile.GetString(kSection, "POP", "none", kFile), "none");  // other section's key
    ASSERT_EQ(profile.WriteString(kSection, "INT", "5", kFile), 1);
    ASSERT_EQ(profile.WriteString(kSection, "POP", "pop.example", kFile), 1);

    EXPECT_EQ(directory.ReadFile(kFile),
              "; written by hand\n"
              "[Other]\n"
              "INT=77\n"
              "\n"
              "[settings]\n"
              "Extra=kept\n"
              "int=5\n"
              "POP=pop.example\n"
              "\n"
              "[Later]\n"
              "POP=not this one\n");
    EXPECT_EQ(FileMode(), 0600u);
}

TEST_F(PosixProfileTest, FileFromTheHomePlatformWithCarriageReturnsReadsTheSame)
{
    directory.WriteFile(kFile, "[Settings]\r\nINT=15\r\nPWD=secret\r\n");
    EXPECT_EQ(profile.GetInt(kSection, "INT", 10, kFile), 15);
    EXPECT_EQ(profile.GetString(kSection, "PWD", "", kFile), "secret");
    ASSERT_EQ(profile.WriteString(kSection, "PWD", "other", kFile), 1);
    ASSERT_EQ(profile.WriteString(kSection, "USR", "me", kFile), 1);
    EXPECT_EQ(directory.ReadFile(kFile), "[Settings]\r\nINT=15\r\nPWD=other\r\nUSR=me\r\n");
    // A value taken out leaves the other lines as they were; one that is not there is no failure.
    ASSERT_EQ(profile.DeleteValue(kSection, "pwd", kFile), 1);
    ASSERT_EQ(profile.DeleteValue(kSection, "PWD", kFile), 1);
    EXPECT_EQ(directory.ReadFile(kFile), "[Settings]\r\nINT=15\r\nUSR=me\r\n");
    // A key written twice, even in a section that comes again, loses every value.
    directory.WriteFile(kFile, "[Settings]\nPWD=a\nUSR=me\nPWD=b\n[Other]\nPWD=kept\n[settings]\npwd=c\n");
    ASSERT_EQ(profile.DeleteValue(kSection, "PWD", kFile), 1);
    EXPECT_EQ(directory.ReadFile(kFile), "[Settings]\nUSR=me\n[Other]\nPWD=kept\n[settings]\n");
}

TEST_F(PosixProfileTest, IntegersReadAsDecimalWithNoNumberReadingZero)
{
    struct Row {
        const char* stored;
        int read;
    };
    const Row rows[] = {
        {"12", 12},          {"-3", -3},          {"+8", 8},
        {"abc", 0},          {"7x", 7},           {" 5", 5},
        {"0x10", 0},         {"", 42},  // an empty value counts as missing
        {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        directory.WriteFile(kFile, std::string("[Settings]\nINT=") + row.stored + "\n");
        EXPECT_EQ(profile.GetInt(kSection, "INT", 42, kFile), row.read);
    }
}

TEST_F(PosixProfileTest, LongStringsAreCutAt4095Bytes)
{
    const std::string longValue(5000, 'p');
    ASSERT_EQ(profile.WriteString(kSection, "POP", longValue, kFile), 1);
    EXPECT_EQ(profile.GetString(kSection, "POP", "", kFile), std::string(4095, 'p'));
    EXPECT_EQ(profile.GetString(kSection, "USR", std::string(4100, 'd'), kFile), std::string(4095, 'd'));
    directory.WriteFile(kFile, "[Settings]\nPOP=" + std::string(4095, 'q') + "\n");
    EXPECT_EQ(profile.GetString(kSection, "POP", "", kFile), std::string(4095, 'q'));
}

TEST_F(PosixProfileTest, LineBreakInAValueCannotForgeAnotherKey)
{
    ASSERT_EQ(profile.WriteString(kSection, "INT", "10", kFile), 1);
    ASSERT_EQ(profile.WriteString(kSection, "PWD", "abc\nINT=99\n[Other]", kFile), 1);
    EXPECT_EQ(profile.GetString(kSection, "PWD", "", kFile), "abc");
    EXPECT_EQ(profile.GetInt(kSection, "INT", 0, kFile), 10);
    EXPECT_EQ(directory.ReadFile(kFile), "[Settings]\nINT=10\nPWD=abc\n");
}

TEST_F(PosixProfileTest, MissingDirectoryIsCreatedAndAnUnwritablePlaceFails)
{
    PosixProfile nested(directory.Path() + "/config/deeper");
    ASSERT_EQ(nested.WriteString(kSection, "INT", "10", kFile), 1) << nested.LastError();
    EXPECT_EQ(nested.GetInt(kSection, "INT", 0, kFile), 10);

    // A directory standing where the file should be: nothing can be read or written there.
    mkdir(profile.PathOf("blocked.INI").c_str(), 0700);
    EXPECT_EQ(profile.WriteString(kSection, "INT", "10", "blocked.INI"), 0);
    EXPECT_FALSE(profile.LastError().empty());
    EXPECT_EQ(profile.GetInt(kSection, "INT", 33, "blocked.INI"), 33);
}

}  // namespace
