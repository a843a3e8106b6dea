// CSecretServiceKeeper: the mailbox password, or the refresh token of signing in with the mail
// provider, in the Secret Service of the desktop session (GNOME Keyring, KWallet's Secret
// Service, KeePassXC), through libsecret.
#ifndef KELVOR_PLATFORM_POSIX_SECRETSERVICEKEEPER_H
#define KELVOR_PLATFORM_POSIX_SECRETSERVICEKEEPER_H

#include <string>

#include "app/PasswordKeeper.h"

// What the items of a keeper hold. Each kind has a schema of its own, so that the items of one
// kind are never found, replaced or removed by the calls of the other.
enum class KeptSecret { Password, RefreshToken };

class CSecretServiceKeeper : public PasswordKeeper {
public:
    // programName: the program file's name ("kelvor"), the attribute that keeps the item of a
    // copy under another name (the demo) apart from the user's own.
    explicit CSecretServiceKeeper(std::string programName, KeptSecret kind = KeptSecret::Password);
    ~CSecretServiceKeeper() override;
    CSecretServiceKeeper(const CSecretServiceKeeper&) = delete;
    CSecretServiceKeeper& operator=(const CSecretServiceKeeper&) = delete;

    KeeperAnswer Read(const std::string& server, const std::string& user, std::string& password) override;
    KeeperAnswer Store(const std::string& server, const std::string& user,
                       const std::string& password) override;
    KeeperAnswer Forget(const std::string& server, const std::string& user) override;

    // The reason of the last answer other than Done and NotFound, for diagnostics.
    const std::string& LastError() const { return m_lastError; }

private:
    std::string m_programName;
    KeptSecret m_kind;
    std::string m_lastError;
};

#endif
