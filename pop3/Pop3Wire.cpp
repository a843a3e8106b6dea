// The wire rules of the POP3 dialogue: reply tests, response ends, numbers and commands.
#include "pop3/Pop3Wire.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::string AsText(const std::string& bytes)
{
    return std::string(bytes.c_str());
}

bool StartsWithIgnoringCase(const std::string& text, const char* prefix)
{
    std::size_t length = std::strlen(prefix);
    if (text.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char a = static_cast<unsigned char>(text[i]);
        unsigned char b = static_cast<unsigned char>(prefix[i]);
        if (a >= 'a' && a <= 'z')
            a = static_cast<unsigned char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = static_cast<unsigned char>(b - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

bool IsErrorReply(const std::string& reply)
{
    return StartsWithIgnoringCase(reply, "-ERR");
}

std::int32_t DecimalAt(const std::string& text, std::size_t position)
{
    while (position < text.size() && IsWhiteSpace(text[position]))
        ++position;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    long long value = 0;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (text[position] - '0');
        ++position;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<std::int32_t>(value);
}

std::size_t ListingEnd(std::string_view gathered, std::string_view more)
{
    std::size_t lineEnd = gathered.find('\n');
    if (lineEnd == kNoEnd) {
        lineEnd = more.find('\n');
        if (lineEnd == kNoEnd)
            return kNoEnd;
        lineEnd += gathered.size();
    }
    std::size_t total = gathered.size() + more.size();
    if (total - (lineEnd + 1) < 3)
        return kNoEnd;
    char thirdLast = more.size() >= 3 ? more[more.size() - 3] : gathered[total - 3];
    return thirdLast == '.' ? more.size() : kNoEnd;
}

std::size_t TerminatedEnd(std::string_view gathered, std::string_view more)
{
    static const char kTerminator[] = "\r\n.\r\n";
    // The terminator may begin in the last four bytes gathered before more.
    std::size_t tail = gathered.size() < 4 ? gathered.size() : 4;
    std::string joint(gathered.substr(gathered.size() - tail));
    joint.append(more.substr(0, 4));
    std::size_t found = joint.find(kTerminator);
    if (found != std::string::npos && found + 5 > tail)
        return found + 5 - tail;
    found = more.find(kTerminator);
    return found == kNoEnd ? kNoEnd : found + 5;
}

bool NextBodyLine(std::string_view response, std::size_t& position, std::string_view& line)
{
    if (position == 0)
        position = response.find('\n');
    if (position == kNoEnd)
        return false;
    std::size_t lineEnd = response.find('\n', position + 1);
    if (lineEnd == kNoEnd)
        return false;
    line = response.substr(position + 1, lineEnd - position - 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    position = lineEnd;
    return line != ".";
}

std::string FormatCommand(const char* format, int n)
{
    char command[24];
    std::snprintf(command, sizeof command, format, n);
    return command;
}

std::size_t ListingCap(int count)
{
    unsigned long long lines = (count > 0 ? static_cast<unsigned long long>(count) : 0) + 2;
    unsigned long long cap = lines * kListingLineCap;
    return cap < kLargestListingCap ? static_cast<std::size_t>(cap) : kLargestListingCap;
}

std::size_t MessageCap(int listedSize)
{
    if (listedSize < 1)
        return kLargestMessageCap;
    unsigned long long cap = 2ULL * static_cast<unsigned long long>(listedSize) + kMessageResponseMargin;
    return cap < kLargestMessageCap ? static_cast<std::size_t>(cap) : kLargestMessageCap;
}

std::string CommandArgument(const std::string& text)
{
    return text.substr(0, text.find_first_of(std::string_view("\r\n\0", 3)));
}

std::string CommandLine(const std::string& command)
{
    std::size_t end = command.find_last_not_of(" \r\n");
    return end == std::string::npos ? std::string() : command.substr(0, end + 1);
}
