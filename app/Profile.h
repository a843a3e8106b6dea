// The initialisation-file operations that keep the settings, after the platform's
// private-profile functions. The file is named bare ("kelvor.INI"); each platform decides
// the directory that holds it.
#ifndef KELVOR_APP_PROFILE_H
#define KELVOR_APP_PROFILE_H

#include <cstddef>
#include <string>

// The longest value GetString gives back whole.
constexpr std::size_t kLongestProfileValue = 4095;

class Profile {
public:
    virtual ~Profile() = default;
    // A missing value gives the default; text that is no number reads as 0.
    virtual int GetInt(const std::string& section, const std::string& key, int defaultValue,
                       const std::string& fileName) = 0;
    // Reads through a 4096-byte buffer: at most 4095 bytes of the value.
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue, const std::string& fileName) = 0;
    // Creates the file on the first write. Returns 1 on success, 0 on failure.
    virtual int WriteString(const std::string& section, const std::string& key,
                            const std::string& value, const std::string& fileName) = 0;
    // Removes the value from its section; a value that is not there is no failure. Returns 1
    // on success, 0 on failure.
    virtual int DeleteValue(const std::string& section, const std::string& key,
                            const std::string& fileName) = 0;
};

#endif
