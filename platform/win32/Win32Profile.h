// CWin32Profile: the settings file through the system's private-profile functions. A bare
// file name such as "kelvor.INI" lands in the Windows directory.
#ifndef KELVOR_PLATFORM_WIN32_WIN32PROFILE_H
#define KELVOR_PLATFORM_WIN32_WIN32PROFILE_H

#include "app/Profile.h"

class CWin32Profile : public Profile {
public:
    int GetInt(const std::string& section, const std::string& key, int defaultValue,
               const std::string& fileName) override;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue, const std::string& fileName) override;
    int WriteString(const std::string& section, const std::string& key, const std::string& value,
                    const std::string& fileName) override;
};

#endif
