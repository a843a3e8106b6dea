// What the system's keeper of secrets (the Secret Service on Linux desktops, the Credential
// Manager on Windows) does for the one mailbox password: read, store and forget it.
#ifndef KELVOR_APP_PASSWORDKEEPER_H
#define KELVOR_APP_PASSWORDKEEPER_H

#include <string>

enum class KeeperAnswer {
    Done,      // read, stored or forgotten (forgetting a password it did not hold is done too)
    NotFound,  // the keeper answered and holds no password for this server and user
    Absent,    // there is no keeper on this system or in this session
    NoAnswer,  // a keeper is there but did not answer in time, or refused
};

class PasswordKeeper {
public:
    virtual ~PasswordKeeper() = default;
    // Texts are the program's Shift_JIS. The item stands for this program's settings file, the
    // server and the user name together; a call never waits more than a few seconds.
    virtual KeeperAnswer Read(const std::string& server, const std::string& user,
                              std::string& password) = 0;
    virtual KeeperAnswer Store(const std::string& server, const std::string& user,
                               const std::string& password) = 0;
    virtual KeeperAnswer Forget(const std::string& server, const std::string& user) = 0;
};

// Where the system has no keeper: every call answers Absent, and the password stays in the
// settings file.
class NoPasswordKeeper : public PasswordKeeper {
public:
    KeeperAnswer Read(const std::string&, const std::string&, std::string&) override
    {
        return KeeperAnswer::Absent;
    }
    KeeperAnswer Store(const std::string&, const std::string&, const std::string&) override
    {
        return KeeperAnswer::Absent;
    }
    KeeperAnswer Forget(const std::string&, const std::string&) override
    {
        return KeeperAnswer::Absent;
    }
};

#endif
