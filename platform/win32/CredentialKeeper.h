// CCredentialKeeper: the mailbox password in the Windows Credential Manager, as a generic
// credential of Kelvor's own target name, kept for this user on this machine; and
// CTokenCredentialKeeper: the refresh token of signing in there too, split over credentials.
#ifndef KELVOR_PLATFORM_WIN32_CREDENTIALKEEPER_H
#define KELVOR_PLATFORM_WIN32_CREDENTIALKEEPER_H

#include <cstddef>
#include <map>
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

// The refresh token of signing in with a mail provider. One credential holds at most 2,560
// bytes and a token may be longer, so the token is cut into parts, each a credential of its
// own ("<password's name>/sign-in/a1", "a2", ...), named by a head credential
// ("<password's name>/sign-in") that holds only the set letter and the count ("a 2"). A new
// token is written as the other set (a or b) before the head names it, so that a token is
// always read whole: the old one or the new one. Where the Credential Manager refuses a token
// (a session without one, say), the token is kept in memory for this run and Store answers
// Done: the program's fallback for a password, the settings file, would hold it in clear.
class CTokenCredentialKeeper : public PasswordKeeper {
public:
    explicit CTokenCredentialKeeper(std::string programName);

    KeeperAnswer Read(const std::string& server, const std::string& user, std::string& token) override;
    KeeperAnswer Store(const std::string& server, const std::string& user, const std::string& token) override;
    KeeperAnswer Forget(const std::string& server, const std::string& user) override;

    std::string HeadName(const std::string& server, const std::string& user) const;
    std::string PartName(const std::string& server, const std::string& user, char set, int index) const;

    // The bytes of a token in one part; a token of more than kMaxParts parts is refused.
    static constexpr std::size_t kPartBytes = 2560;
    static constexpr int kMaxParts = 64;

private:
    // Writes the token's parts and the head naming them, then removes the parts of the token
    // before; the system's error code of the first write that failed.
    unsigned long WriteParts(const std::string& server, const std::string& user, const std::string& token);

    CCredentialKeeper m_names;
    // The tokens the Credential Manager refused, by head name, for this run only.
    std::map<std::string, std::string> m_unkept;
};

#endif
