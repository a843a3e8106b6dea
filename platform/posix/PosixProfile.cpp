// The settings file on POSIX systems: an initialisation file ("[Section]" lines followed by
// "key=value" lines) with case-insensitive section and key names, in which a write keeps
// every other section, key, comment and line as it was.
#include "platform/posix/PosixProfile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Strings are read through a 4096-byte area, so at most 4095 bytes of a value arrive.
constexpr std::size_t kMaximumValueBytes = 4095;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string TrimBlanks(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// Names compare without regard to the case of ASCII letters; other bytes compare exactly,
// so Shift_JIS names are never folded.
bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string UpToZeroByte(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// One line of the file, without its line feed; a carriage return before it stays in text.
struct ProfileLine {
    enum class Kind { Other, Section, Entry } kind = Kind::Other;
    std::string text;
    std::string name;   // section name, or the key of an entry, blanks trimmed
    std::size_t equals = 0;  // position of '=' in an entry
};

std::string WithoutCarriageReturn(const std::string& line)
{
    if (!line.empty() && line.back() == '\r')
        return line.substr(0, line.size() - 1);
    return line;
}

ProfileLine ClassifyLine(const std::string& text)
{
    ProfileLine line;
    line.text = text;
    const std::string content = WithoutCarriageReturn(text);
    const std::string trimmed = TrimBlanks(content);
    if (!trimmed.empty() && trimmed[0] == '[') {
        line.kind = ProfileLine::Kind::Section;
        const std::size_t close = trimmed.find(']');
        line.name = TrimBlanks(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return line;
    }
    const std::size_t equals = content.find('=');
    if (equals != std::string::npos) {
        line.kind = ProfileLine::Kind::Entry;
        line.name = TrimBlanks(content.substr(0, equals));
        line.equals = equals;
    }
    return line;
}

std::vector<ProfileLine> SplitLines(const std::string& content)
{
    std::vector<ProfileLine> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        lines.push_back(ClassifyLine(content.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

// The value of an entry line is everything after its first '=', kept exactly as stored
// (blanks included), so a password with blanks at its ends reads back unaltered.
std::string EntryValue(const ProfileLine& line)
{
    return WithoutCarriageReturn(line.text).substr(line.equals + 1);
}

// 1 with the whole file, or 1 with an empty text when there is no file; 0 when a file is
// there but cannot be read.
int ReadWholeFile(const std::string& path, std::string& content, std::string& error)
{
    content.clear();
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ENOENT)
            return 1;
        error = "cannot open " + path + ": " + std::strerror(errno);
        return 0;
    }
    char buffer[8192];
    for (;;) {
        const ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            close(descriptor);
            return 0;
        }
        if (got == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    close(descriptor);
    return 1;
}

int WriteAll(int descriptor, const std::string& content)
{
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t put = write(descriptor, content.data() + written, content.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return 0;
        written += static_cast<std::size_t>(put);
    }
    return 1;
}

// Creates the directory and any missing parents, private to the user.
int MakeDirectories(const std::string& directory)
{
    if (directory.empty())
        return 1;
    struct stat info;
    if (stat(directory.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode) ? 1 : 0;
    const std::size_t slash = directory.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(directory.substr(0, slash)))
        return 0;
    return mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// Writes the lines through a temporary file beside the file that is renamed over it.
int ReplaceFile(const std::string& directory, const std::string& path,
                const std::vector<ProfileLine>& lines, std::string& error)
{
    std::string updated;
    for (const ProfileLine& line : lines)
        updated += line.text + "\n";

    if (!MakeDirectories(directory)) {
        error = "cannot create " + directory + ": " + std::strerror(errno);
        return 0;
    }
    // mkstemp creates the file with mode 0600; fchmod makes sure of it whatever the umask.
    std::string temporaryPath = path + ".XXXXXX";
    std::vector<char> pattern(temporaryPath.begin(), temporaryPath.end());
    pattern.push_back('\0');
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        error = "cannot create a file beside " + path + ": " + std::strerror(errno);
        return 0;
    }
    temporaryPath = pattern.data();
    const bool written = fchmod(descriptor, 0600) == 0 && WriteAll(descriptor, updated) &&
                         fsync(descriptor) == 0;
    const int writeErrno = errno;
    const bool closed = close(descriptor) == 0;
    if (!written || !closed) {
        error = "cannot write " + temporaryPath + ": " + std::strerror(written ? errno : writeErrno);
        unlink(temporaryPath.c_str());
        return 0;
    }
    if (rename(temporaryPath.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temporaryPath + " to " + path + ": " + std::strerror(errno);
        unlink(temporaryPath.c_str());
        return 0;
    }
    return 1;
}

std::string DefaultConfigurationDirectory()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/')
        return configHome;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config";
}

}  // namespace

PosixProfile::PosixProfile() : m_directory(DefaultConfigurationDirectory())
{
}

PosixProfile::PosixProfile(std::string directory) : m_directory(std::move(directory))
{
}

std::string PosixProfile::PathOf(const std::string& fileName) const
{
    return m_directory + "/" + fileName;
}

int PosixProfile::FindValue(const std::string& section, const std::string& key,
                            const std::string& fileName, std::string& value) const
{
    std::string content;
    std::string error;
    if (!ReadWholeFile(PathOf(fileName), content, error))
        return 0;
    bool inSection = false;
    for (const ProfileLine& line : SplitLines(content)) {
        if (line.kind == ProfileLine::Kind::Section) {
            inSection = SameName(line.name, section);
        } else if (inSection && line.kind == ProfileLine::Kind::Entry && SameName(line.name, key)) {
            value = EntryValue(line);
            return 1;
        }
    }
    return 0;
}

int PosixProfile::GetInt(const std::string& section, const std::string& key, int defaultValue,
                         const std::string& fileName)
{
    std::string value;
    if (!FindValue(section, key, fileName, value))
        return defaultValue;
    value = UpToZeroByte(value);
    if (value.empty())
        return defaultValue;

    std::size_t position = 0;
    while (position < value.size() && IsBlank(value[position]))
        ++position;
    bool negative = false;
    if (position < value.size() && (value[position] == '+' || value[position] == '-')) {
        negative = value[position] == '-';
        ++position;
    }
    // Decimal digits up to the first other byte; none at all reads as 0. Numbers beyond
    // 32 bits saturate instead of wrapping.
    long long magnitude = 0;
    while (position < value.size() && value[position] >= '0' && value[position] <= '9') {
        if (magnitude <= static_cast<long long>(INT_MAX) + 1)
            magnitude = magnitude * 10 + (value[position] - '0');
        ++position;
    }
    long long number = negative ? -magnitude : magnitude;
    if (number > INT_MAX)
        number = INT_MAX;
    if (number < INT_MIN)
        number = INT_MIN;
    return static_cast<int>(number);
}

std::string PosixProfile::GetString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& fileName)
{
    std::string value;
    if (!FindValue(section, key, fileName, value))
        value = defaultValue;
    return UpToZeroByte(value).substr(0, kMaximumValueBytes);
}

int PosixProfile::WriteString(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& fileName)
{
    const std::string path = PathOf(fileName);
    std::string content;
    if (!ReadWholeFile(path, content, m_lastError))
        return 0;

    // A line break in a value would split it into lines of its own and could forge other
    // keys, so a value is stored up to its first line break.
    const std::string storedValue = value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));

    std::vector<ProfileLine> lines = SplitLines(content);
    const bool carriageReturns = !lines.empty() && !lines.front().text.empty() &&
                                 lines.front().text.back() == '\r';
    const std::string lineEnd = carriageReturns ? "\r" : "";

    std::size_t sectionLine = lines.size();
    std::size_t insertAt = lines.size();
    bool replaced = false;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size() && !replaced; ++i) {
        ProfileLine& line = lines[i];
        if (line.kind == ProfileLine::Kind::Section) {
            if (inSection)
                break;
            inSection = SameName(line.name, section);
            if (inSection) {
                sectionLine = i;
                insertAt = i + 1;
            }
        } else if (inSection && line.kind == ProfileLine::Kind::Entry) {
            if (SameName(line.name, key)) {
                const bool hadCarriageReturn = !line.text.empty() && line.text.back() == '\r';
                line.text = line.text.substr(0, line.equals + 1) + storedValue +
                            (hadCarriageReturn ? "\r" : "");
                replaced = true;
            }
            insertAt = i + 1;
        }
    }

    if (!replaced) {
        ProfileLine entry;
        entry.text = key + "=" + storedValue + lineEnd;
        if (sectionLine == lines.size()) {
            if (!lines.empty() && !WithoutCarriageReturn(lines.back().text).empty()) {
                ProfileLine blank;
                blank.text = lineEnd;
                lines.push_back(blank);
            }
            ProfileLine header;
            header.text = "[" + section + "]" + lineEnd;
            lines.push_back(header);
            lines.push_back(entry);
        } else {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        }
    }

    return ReplaceFile(m_directory, path, lines, m_lastError);
}

int PosixProfile::DeleteValue(const std::string& section, const std::string& key,
                              const std::string& fileName)
{
    const std::string path = PathOf(fileName);
    std::string content;
    if (!ReadWholeFile(path, content, m_lastError))
        return 0;
    // Every value of the key goes, wherever the section repeats it: a file written by hand
    // or by an older program may hold a key twice, and a password must not survive in one.
    std::vector<ProfileLine> lines = SplitLines(content);
    std::vector<ProfileLine> kept;
    kept.reserve(lines.size());
    bool inSection = false;
    for (ProfileLine& line : lines) {
        if (line.kind == ProfileLine::Kind::Section)
            inSection = SameName(line.name, section);
        else if (inSection && line.kind == ProfileLine::Kind::Entry && SameName(line.name, key))
            continue;
        kept.push_back(std::move(line));
    }
    if (kept.size() == lines.size())
        return 1;
    return ReplaceFile(m_directory, path, kept, m_lastError);
}
