// Messages made by Python's email package in the shapes today's senders use, and Python's own
// email test messages, read by Python and by us: the summary line and the first lines of the
// readable body must agree, in Shift_JIS. The corpus is written by make_corpus.py at test time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "message/MessageText.h"

namespace {

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> CrLfLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class MessageCorpus : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kelvor-corpus-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::filesystem::path folder_;
};

TEST_F(MessageCorpus, PythonAndKelvorReadEveryMessageAlike)
{
    const std::string command =
        std::string(KELVOR_PYTHON) + " " + KELVOR_CORPUS_SCRIPT + " " + folder_.string() + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    int messages = 0;
    int bodiesCompared = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        if (entry.path().extension() != ".eml") {
            continue;
        }
        ++messages;
        const std::string name = entry.path().stem().string();
        SCOPED_TRACE(name);
        const std::string message = ReadFile(entry.path());
        std::filesystem::path expectedPath = entry.path();
        const std::vector<std::string> expected = CrLfLines(ReadFile(expectedPath.replace_extension(".expected")));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(SummaryLine(message), expected[0]);

        if (expected.size() > 1 && expected[1].rfind("(not compared", 0) == 0) {
            continue;
        }
        ++bodiesCompared;
        const std::string text = ViewerText(message);
        // The body follows the empty line after the header lines, which may be none.
        const std::size_t empty = text.rfind("\r\n", 0) == 0 ? 0 : text.find("\r\n\r\n");
        const std::size_t bodyStart = empty == 0 ? 2 : empty + 4;
        const std::vector<std::string> body =
            CrLfLines(empty == std::string::npos ? std::string() : text.substr(bodyStart));
        for (std::size_t n = 1; n < expected.size(); ++n) {
            SCOPED_TRACE("body line " + std::to_string(n));
            EXPECT_EQ(n - 1 < body.size() ? body[n - 1] : "(no such line)", expected[n]);
        }
    }
    // The shapes alone are 20 messages; Python's own test messages add 47 where installed.
    EXPECT_GE(messages, 20);
    EXPECT_GE(bodiesCompared, 20);
    RecordProperty("messages", messages);
    RecordProperty("bodies_compared", bodiesCompared);
}

}  // namespace
