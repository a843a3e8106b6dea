// The single-instance guard on POSIX systems: an exclusive flock on a lock file. Only the
// lock counts, never the file's existence, so a guard left behind by a killed process does
// not keep the program from starting.
#include "platform/posix/PosixInstanceGuard.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace {

std::string DefaultRuntimeDirectory(bool& perUserName)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        perUserName = false;
        return runtime;
    }
    perUserName = true;
    const char* temporary = std::getenv("TMPDIR");
    if (temporary != nullptr && temporary[0] == '/')
        return temporary;
    return "/tmp";
}

// Opens the lock file without following a symbolic link planted in its place.
int OpenLockFile(const std::string& path, int flags)
{
    int descriptor;
    do {
        descriptor = open(path.c_str(), flags | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

}  // namespace

PosixInstanceGuard::PosixInstanceGuard()
{
    m_directory = DefaultRuntimeDirectory(m_perUserName);
}

PosixInstanceGuard::PosixInstanceGuard(std::string directory) : m_directory(std::move(directory))
{
}

PosixInstanceGuard::~PosixInstanceGuard()
{
    if (m_heldDescriptor >= 0)
        close(m_heldDescriptor);
}

std::string PosixInstanceGuard::PathOf(const std::string& name) const
{
    std::string path = m_directory + "/" + name;
    if (m_perUserName)
        path += "-" + std::to_string(getuid());
    return path;
}

int PosixInstanceGuard::OpenExisting(const std::string& name)
{
    const int descriptor = OpenLockFile(PathOf(name), 0);
    if (descriptor < 0)
        return 0;
    // Every open file has a lock of its own, so this test sees a lock held by this very
    // process through another descriptor too.
    int held = 0;
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0)
        held = errno == EWOULDBLOCK ? 1 : 0;
    close(descriptor);
    return held;
}

void PosixInstanceGuard::Create(const std::string& name)
{
    if (m_heldDescriptor >= 0)
        return;
    const int descriptor = OpenLockFile(PathOf(name), O_CREAT);
    if (descriptor < 0)
        return;
    // A start at the very same moment may win the lock; as with the named lock elsewhere,
    // that report is not used and both run.
    flock(descriptor, LOCK_EX | LOCK_NB);
    m_heldDescriptor = descriptor;
}
