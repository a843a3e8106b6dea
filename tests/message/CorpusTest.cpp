// Messages made by Python's email package in the shapes today's senders use, and Python's own
// email test messages, read by Python and by us: the summary line and the first lines of the
// readable body must agree, in Shift_JIS. The corpus is written by make_corpus.py at test time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TemporaryDirectory.h"
#include "message/MessageText.h"

namespace {

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

TEST(MessageCorpus, PythonAndKelvorReadEveryMessageAlike)
{
    const TemporaryDirectory folder;
    const std::string command =
        std::string(KELVOR_PYTHON) + " " + KELVOR_CORPUS_SCRIPT + " " + folder.Path() + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    int messages = 0;
    int bodiesCompared = 0;
    for (const std::string& file : folder.Entries()) {
        if (!file.ends_with(".eml")) {
            continue;
        }
        ++messages;
        const std::string name = file.substr(0, file.size() - 4);
        SCOPED_TRACE(name);
        const std::string message = folder.ReadFile(file);
        const std::vector<std::string> expected = CrLfLines(folder.ReadFile(name + ".expected"));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(SummaryLine(message), expected[0]);

        if (expected.size() > 1 && expected[1].rfind("(not compared", 0) == 0) {
            continue;
        }
        ++bodiesCompared;
        // The body follows the first empty line; the header lines before it may be none.
        const std::string text = ViewerText(message);
        const std::size_t empty = ("\r\n" + text).find("\r\n\r\n");
        const std::vector<std::string> body =
            CrLfLines(empty == std::string::npos ? std::string() : text.substr(empty + 2));
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
