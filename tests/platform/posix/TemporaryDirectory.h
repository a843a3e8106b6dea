// TemporaryDirectory: a fresh directory under the system's temporary directory, removed
// with everything in it when the object goes.
#ifndef KELVOR_TESTS_PLATFORM_POSIX_TEMPORARYDIRECTORY_H
#define KELVOR_TESTS_PLATFORM_POSIX_TEMPORARYDIRECTORY_H

#include <string>
#include <vector>

class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& Path() const { return m_path; }
    std::string ReadFile(const std::string& name) const;
    void WriteFile(const std::string& name, const std::string& content) const;
    // Names of the entries, sorted.
    std::vector<std::string> Entries() const;

private:
    std::string m_path;
};

#endif
