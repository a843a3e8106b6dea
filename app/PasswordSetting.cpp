// The mailbox password between the system's keeper and the settings file's PWD value: read at
// start-up, written wherever the other settings are written.
#include "app/PasswordSetting.h"

#include <utility>

CPasswordSetting::CPasswordSetting(Profile& profile, PasswordKeeper& keeper, std::string section,
                                   std::string key)
    : m_profile(profile), m_keeper(keeper), m_section(std::move(section)), m_key(std::move(key))
{
}

std::string CPasswordSetting::Load(const std::string& server, const std::string& user,
                                   const std::string& fileName)
{
    const std::string filePassword = m_profile.GetString(m_section, m_key, "", fileName);
    std::string kept;
    switch (m_keeper.Read(server, user, kept)) {
    case KeeperAnswer::Done:
        // A PWD still in the file is older than the keeper's and leaves at the next write.
        m_known = true;
        m_kept = true;
        m_keptServer = server;
        m_keptUser = user;
        // Cut where the window cuts a typed one: a line break would reach the server's PASS line.
        m_password = kept.substr(0, kept.find_first_of(std::string("\r\n\0", 3)));
        return m_password;
    case KeeperAnswer::NotFound:
        m_known = true;
        break;
    case KeeperAnswer::Absent:
        m_keeperAbsent = true;
        break;
    case KeeperAnswer::NoAnswer:
        break;
    }
    m_password = filePassword;
    return filePassword;
}

void CPasswordSetting::Store(const std::string& server, const std::string& user,
                             const std::string& password, const std::string& fileName)
{
    if (!m_known && password == m_password) {
        // The keeper may hold a password that nobody could read, and the field still shows
        // the file's (or nothing): neither place may lose what it holds. Without any keeper
        // the file is written as it always was.
        if (m_keeperAbsent)
            m_profile.WriteString(m_section, m_key, password, fileName);
        return;
    }

    if (m_keeperSilent && password == m_password) {
        // A keeper that let this password's last write time out (a locked keyring whose prompt
        // nobody answered) is not asked again at every "OK"; a new password tries it again.
        m_profile.WriteString(m_section, m_key, password, fileName);
        return;
    }

    const bool sameItem = m_kept && m_keptServer == server && m_keptUser == user;
    KeeperAnswer answer = KeeperAnswer::Done;
    if (password.empty()) {
        if (m_kept)
            answer = m_keeper.Forget(m_keptServer, m_keptUser);
        else if (!m_known || m_keeperAbsent)
            // A keeper that was not asked, or did not answer, may hold one for these fields.
            answer = m_keeper.Forget(server, user);
    } else if (!sameItem || password != m_password) {
        answer = m_keeper.Store(server, user, password);
        // An item for another server or user would be found by nobody: it goes.
        if (answer == KeeperAnswer::Done && m_kept && !sameItem)
            m_keeper.Forget(m_keptServer, m_keptUser);
    }

    if (answer == KeeperAnswer::Done) {
        m_kept = !password.empty();
        m_keptServer = server;
        m_keptUser = user;
        m_profile.DeleteValue(m_section, m_key, fileName);
    } else {
        // No keeper took it, for this write at least: the file keeps it, private to the user.
        m_profile.WriteString(m_section, m_key, password, fileName);
    }
    m_keeperSilent = answer == KeeperAnswer::NoAnswer;
    m_known = true;
    m_password = password;
}
