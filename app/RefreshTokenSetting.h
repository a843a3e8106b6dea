// CRefreshTokenSetting: where the refresh token of signing in with the mail provider is kept.
// The system's keeper holds it where one answers, as it holds the password; the settings file
// is the fallback, as PWD is the password's.
#ifndef KELVOR_APP_REFRESHTOKENSETTING_H
#define KELVOR_APP_REFRESHTOKENSETTING_H

#include <string>

#include "app/PasswordKeeper.h"
#include "app/Profile.h"
#include "signin/SignInFlow.h"

class CRefreshTokenSetting : public RefreshTokenStore {
public:
    // keeper holds the tokens' items (AppHost::TokenKeeper); the fallback values go to section
    // of fileName.
    CRefreshTokenSetting(Profile& profile, PasswordKeeper& keeper, std::string section, std::string fileName);

    int Read(const std::string& host, const std::string& user, std::string& token) override;
    // Into the keeper where it takes it, and then the file's values go; else into the file,
    // unless the token is longer than a value the file gives back whole.
    void Store(const std::string& host, const std::string& user, const std::string& token) override;
    // Out of the keeper and out of the file.
    void Forget(const std::string& host, const std::string& user) override;

private:
    // The file's token, when it was written for this host and user.
    bool ReadFile(const std::string& host, const std::string& user, std::string& token);
    void ForgetFile();

    Profile& m_profile;
    PasswordKeeper& m_keeper;
    std::string m_section;
    std::string m_fileName;
};

#endif
