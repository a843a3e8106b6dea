// CPasswordSetting: where the mailbox password is read from and written to. The system's
// keeper holds it where one answers, and the settings file's PWD value is the fallback; an
// old PWD moves into the keeper at the next write.
#ifndef KELVOR_APP_PASSWORDSETTING_H
#define KELVOR_APP_PASSWORDSETTING_H

#include <string>

#include "app/PasswordKeeper.h"
#include "app/Profile.h"

class CPasswordSetting {
public:
    CPasswordSetting(Profile& profile, PasswordKeeper& keeper, std::string section, std::string key);

    // The password for this server and user at start-up: the keeper's when it holds one (it
    // wins over a PWD left in the file), else the file's.
    std::string Load(const std::string& server, const std::string& user, const std::string& fileName);
    // Writes the password in the place of the PWD value among the settings. Into the keeper
    // where it takes it, and then PWD leaves the file; an empty password forgets the keeper's
    // item. Where no keeper takes it, PWD in the file as it always was. A password that could
    // not be read at start-up, and that the user has not replaced, is left where it is.
    void Store(const std::string& server, const std::string& user, const std::string& password,
               const std::string& fileName);

private:
    Profile& m_profile;
    PasswordKeeper& m_keeper;
    std::string m_section;
    std::string m_key;
    // The password as start-up found it, or as it was last written.
    std::string m_password;
    // False while the keeper has not answered about this password: it may hold another one
    // that nobody could read, so it must not be overwritten or forgotten.
    bool m_known = false;
    // The keeper was not there at start-up: the file is used exactly as it always was.
    bool m_keeperAbsent = false;
    // The keeper did not answer when this password was last written.
    bool m_keeperSilent = false;
    // The server and user of the item that the keeper holds for the program, when it holds one.
    bool m_kept = false;
    std::string m_keptServer;
    std::string m_keptUser;
};

#endif
