// The single-instance guard on POSIX systems: an exclusive flock on a lock file. Only the
// lock counts, never the file's existence, so a guard left behind by a killed process does
// not keep the program from starting. In the shared temporary directory the file lies in a
// directory of this user's alone, so that no other user can take the guard first.
#include "platform/posix/PosixInstanceGuard.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

std::string DefaultRuntimeDirectory(bool& inTemporaryDirectory)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        inTemporaryDirectory = false;
        return runtime;
    }
    inTemporaryDirectory = true;
    const char* temporary = std::getenv("TMPDIR");
    if (temporary != nullptr && temporary[0] == '/')
        return temporary;
    return "/tmp";
}

// "kelvor-<uid>" in the temporary directory, made private to this user when missing. Any
// local user can make that name first; a directory that is not this user's own, is open to
// others, or is a link gives empty, and the program then runs without a guard rather than
// not at all.
std::string PrivateDirectoryIn(const std::string& temporary)
{
    const std::string directory = temporary + "/kelvor-" + std::to_string(getuid());
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string();
    struct stat info;
    if (lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0)
        return std::string();
    return directory;
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
    m_directory = DefaultRuntimeDirectory(m_inTemporaryDirectory);
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
    if (!m_inTemporaryDirectory)
        return m_directory + "/" + name;
    const std::string directory = PrivateDirectoryIn(m_directory);
    return directory.empty() ? std::string() : directory + "/" + name;
}

int PosixInstanceGuard::OpenExisting(const std::string& name)
{
    const std::string path = PathOf(name);
    if (path.empty())
        return 0;
    const int descriptor = OpenLockFile(path, 0);
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
    const std::string path = PathOf(name);
    const int descriptor = path.empty() ? -1 : OpenLockFile(path, O_CREAT);
    if (descriptor < 0)
        return;
    // A start at the very same moment may win the lock; as with the named lock elsewhere,
    // that report is not used and both run.
    flock(descriptor, LOCK_EX | LOCK_NB);
    m_heldDescriptor = descriptor;
}
