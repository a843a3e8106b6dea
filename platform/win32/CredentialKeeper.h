// CCredentialKeeper: the mailbox password in the Windows Credential Manager, as a generic
// credential of Kelvor's own target name, kept for this user on this machine.
#ifndef KELVOR_PLATFORM_WIN32_CREDENTIALKEEPER_H
#define KELVOR_PLATFORM_WIN32_CREDENTIALKEEPER_H

#include <string>

#include "app/PasswordKeeper.h"

class CCredentialKeeper : public PasswordKeeper {
public:
    // programName: the program file's name ("kelvor"), part of the target name, so that a copy
    // under another name keeps a credential of its own.
    explicit CCredentialKeeper(std::string programName);

    KeeperAnswer Read(const std::string& server, const std::string& user, std::string& password) override;
    KeeperAnswer Store(const std::string& server, const std::string& user,
                       const std::string& password) override;
    KeeperAnswer Forget(const std::string& server, const std::string& user) override;

    // "Kelvor/<program>/<server>/<user>", with "%" and "/" inside the parts written as %25
    // and %2F, so that no two servers and users share a name. Shift_JIS, as the program holds it.
    std::string TargetName(const std::string& server, const std::string& user) const;

private:
    std::string m_programName;
};

#endif
