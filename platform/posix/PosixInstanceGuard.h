// PosixInstanceGuard: the single-instance guard as an advisory lock (flock) on a file named
// after the guard. The system drops the lock when the holding process ends, killed or not.
#ifndef KELVOR_PLATFORM_POSIX_POSIXINSTANCEGUARD_H
#define KELVOR_PLATFORM_POSIX_POSIXINSTANCEGUARD_H

#include <string>

#include "app/InstanceGuard.h"

class PosixInstanceGuard : public InstanceGuard {
public:
    // The lock files lie in $XDG_RUNTIME_DIR, else in the directory "kelvor-<uid>" of the
    // temporary directory, which only this user may own and enter.
    PosixInstanceGuard();
    // The lock files lie in the given directory.
    explicit PosixInstanceGuard(std::string directory);
    ~PosixInstanceGuard() override;
    PosixInstanceGuard(const PosixInstanceGuard&) = delete;
    PosixInstanceGuard& operator=(const PosixInstanceGuard&) = delete;

    int OpenExisting(const std::string& name) override;
    void Create(const std::string& name) override;

    // Empty when the private directory in the temporary directory is not to be had.
    std::string PathOf(const std::string& name) const;

private:
    std::string m_directory;
    // The directory is the shared temporary one, in which the lock lies one level deeper.
    bool m_inTemporaryDirectory = false;
    int m_heldDescriptor = -1;
};

#endif
