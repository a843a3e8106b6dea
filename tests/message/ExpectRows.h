// The table rows of the message tests (what a row shows, its input, the text expected) and
// the loop that reads each input through one function.
#ifndef KELVOR_TESTS_MESSAGE_EXPECTROWS_H
#define KELVOR_TESTS_MESSAGE_EXPECTROWS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct Row {
    const char* behaviour;
    std::string input;
    std::string expected;
};

template <typename Read>
void ExpectRows(const std::vector<Row>& rows, Read read)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.behaviour);
        EXPECT_EQ(read(row.input), row.expected);
    }
}

#endif
