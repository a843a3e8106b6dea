// The refresh token between the system's keeper and the settings file: three values of the
// settings section hold it where no keeper takes it, together with the host and user it is for.
#include "app/RefreshTokenSetting.h"

#include <utility>

namespace {

const char kKeyTokenHost[] = "TKH";
const char kKeyTokenUser[] = "TKU";
const char kKeyToken[] = "TKN";

}  // namespace

CRefreshTokenSetting::CRefreshTokenSetting(Profile& profile, PasswordKeeper& keeper, std::string section,
                                           std::string fileName)
    : m_profile(profile), m_keeper(keeper), m_section(std::move(section)), m_fileName(std::move(fileName))
{
}

bool CRefreshTokenSetting::ReadFile(const std::string& host, const std::string& user, std::string& token)
{
    const std::string kept = m_profile.GetString(m_section, kKeyToken, "", m_fileName);
    if (kept.empty() || m_profile.GetString(m_section, kKeyTokenHost, "", m_fileName) != host ||
        m_profile.GetString(m_section, kKeyTokenUser, "", m_fileName) != user)
        return false;
    token = kept;
    return true;
}

void CRefreshTokenSetting::ForgetFile()
{
    m_profile.DeleteValue(m_section, kKeyToken, m_fileName);
    m_profile.DeleteValue(m_section, kKeyTokenHost, m_fileName);
    m_profile.DeleteValue(m_section, kKeyTokenUser, m_fileName);
}

int CRefreshTokenSetting::Read(const std::string& host, const std::string& user, std::string& token)
{
    std::string kept;
    if (m_keeper.Read(host, user, kept) == KeeperAnswer::Done && !kept.empty()) {
        token = kept;
        return 1;
    }
    // A token written while no keeper answered is still good; the next refresh moves it.
    return ReadFile(host, user, token) ? 1 : 0;
}

void CRefreshTokenSetting::Store(const std::string& host, const std::string& user, const std::string& token)
{
    if (m_keeper.Store(host, user, token) == KeeperAnswer::Done) {
        if (!m_profile.GetString(m_section, kKeyToken, "", m_fileName).empty())
            ForgetFile();
        return;
    }
    // The file gives back no more than its longest value, and a token cut there is refused at
    // the next refresh. Such a token is not written; the one before it was spent by this
    // refresh, so it goes too, and the next run signs in again.
    if (token.size() > kLongestProfileValue) {
        ForgetFile();
        return;
    }
    m_profile.WriteString(m_section, kKeyTokenHost, host, m_fileName);
    m_profile.WriteString(m_section, kKeyTokenUser, user, m_fileName);
    m_profile.WriteString(m_section, kKeyToken, token, m_fileName);
}

void CRefreshTokenSetting::Forget(const std::string& host, const std::string& user)
{
    m_keeper.Forget(host, user);
    std::string token;
    if (ReadFile(host, user, token))
        ForgetFile();
}
