// PosixProfile: the settings file as an initialisation file in the user's configuration
// directory, read and written with the observable rules of the private-profile functions.
#ifndef KELVOR_PLATFORM_POSIX_POSIXPROFILE_H
#define KELVOR_PLATFORM_POSIX_POSIXPROFILE_H

#include <string>

#include "app/Profile.h"

class PosixProfile : public Profile {
public:
    // The file lies in $XDG_CONFIG_HOME, else in ~/.config.
    PosixProfile();
    // The file lies in the given directory.
    explicit PosixProfile(std::string directory);

    int GetInt(const std::string& section, const std::string& key, int defaultValue,
               const std::string& fileName) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, const std::string& fileName) override;
    // Rewrites the whole file through a temporary file beside it that is renamed over it,
    // so that a crash never leaves half a file; the file gets mode 0600 since it holds the
    // password in plain text.
    int WriteString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& fileName) override;
    // Rewrites the file the same way without the value's line, when it has one.
    int DeleteValue(const std::string& section, const std::string& key,
                    const std::string& fileName) override;

    // The reason of the last failed write, for diagnostics.
    const std::string& LastError() const { return m_lastError; }
    std::string PathOf(const std::string& fileName) const;

private:
    // 1 with the value when the key exists in the section, else 0.
    int FindValue(const std::string& section, const std::string& key, const std::string& fileName,
                  std::string& value) const;

    std::string m_directory;
    std::string m_lastError;
};

#endif
