// CWin32Profile: the settings file through the system's private-profile functions, kept in the
// user's own application data: a bare file name such as "kelvor.INI" stands for
// %APPDATA%\Kelvor\kelvor.INI.
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
    int DeleteValue(const std::string& section, const std::string& key,
                    const std::string& fileName) override;

    // The full path that the profile functions are given for a file name. A bare name lies in
    // the folder "Kelvor" of the user's application data, which is created when missing; when
    // the file is not there yet, the settings that older versions of the program kept are
    // copied into it once: the user's VirtualStore copy of the file in the Windows directory
    // first, else that file itself. The password then leaves the old file that was copied,
    // where the user may write it (the Windows directory's file is readable by every local
    // user); the rest of the old files stays as it was. A name with a folder is used as it stands.
    static std::string PathOf(const std::string& fileName);
};

#endif
