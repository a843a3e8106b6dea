// The single-instance guard on POSIX: found while another holder lives, gone when the
// holder ends, also when it is killed; its lock file where no other user can take it first.
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TemporaryDirectory.h"
#include "platform/posix/PosixInstanceGuard.h"

namespace {

const char kGuard[] = "h_XXXX_PrevInstance";

TEST(PosixInstanceGuardTest, GuardIsFoundOnlyWhileItsHolderLives)
{
    TemporaryDirectory directory;
    PosixInstanceGuard second(directory.Path());
    EXPECT_EQ(second.OpenExisting(kGuard), 0);
    {
        PosixInstanceGuard first(directory.Path());
        first.Create(kGuard);
        EXPECT_EQ(second.OpenExisting(kGuard), 1);
        EXPECT_EQ(second.OpenExisting(kGuard), 1);  // looking does not take the guard away
        EXPECT_EQ(second.OpenExisting("another name"), 0);
    }
    // The lock file stays behind, but without a holder it guards nothing.
    EXPECT_EQ(second.OpenExisting(kGuard), 0);
}

TEST(PosixInstanceGuardTest, GuardOfAKilledProcessIsReleasedBySystem)
{
    TemporaryDirectory directory;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        PosixInstanceGuard holder(directory.Path());
        holder.Create(kGuard);
        const char byte = 'x';
        (void)!write(ready[1], &byte, 1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char byte = 0;
    const ssize_t got = read(ready[0], &byte, 1);
    close(ready[0]);

    PosixInstanceGuard second(directory.Path());
    const int foundWhileHeld = second.OpenExisting(kGuard);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(got, 1);
    EXPECT_EQ(foundWhileHeld, 1);
    EXPECT_EQ(second.OpenExisting(kGuard), 0);
    second.Create(kGuard);
    PosixInstanceGuard third(directory.Path());
    EXPECT_EQ(third.OpenExisting(kGuard), 1);
}

TEST(PosixInstanceGuardTest, LockFileLiesInTheRuntimeDirectoryElseInAPrivateDirectoryOfTheTemporaryOne)
{
    const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = savedRuntime != nullptr ? savedRuntime : "";
    const char* savedTemporary = std::getenv("TMPDIR");
    const std::string savedTemporaryText = savedTemporary != nullptr ? savedTemporary : "";

    setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(PosixInstanceGuard().PathOf(kGuard), std::string("/run/user/4242/") + kGuard);

    // Without a runtime directory the lock goes one level down into "kelvor-<uid>", which only
    // this user may own and enter; where another got that name first, no guard keeps the
    // program from starting.
    unsetenv("XDG_RUNTIME_DIR");
    TemporaryDirectory temporary;
    setenv("TMPDIR", temporary.Path().c_str(), 1);
    const std::string privateDirectory = temporary.Path() + "/kelvor-" + std::to_string(getuid());
    struct Row {
        const char* why;
        std::function<void()> prepare;
        bool used;
    };
    const Row rows[] = {
        {"missing: made private", [] {}, true},
        {"this user's and private", [] {}, true},
        {"open to others", [&] { chmod(privateDirectory.c_str(), 0777); }, false},
        {"a link to another directory",
         [&] {
             unlink((privateDirectory + "/" + kGuard).c_str());
             rmdir(privateDirectory.c_str());
             ASSERT_EQ(symlink(temporary.Path().c_str(), privateDirectory.c_str()), 0);
         },
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        row.prepare();
        PosixInstanceGuard first;
        EXPECT_EQ(first.PathOf(kGuard), row.used ? privateDirectory + "/" + kGuard : "");
        first.Create(kGuard);
        EXPECT_EQ(PosixInstanceGuard().OpenExisting(kGuard), row.used ? 1 : 0);
        struct stat info;
        EXPECT_EQ(lstat(privateDirectory.c_str(), &info), 0);
        if (row.used) {
            EXPECT_EQ(info.st_mode & 07777, 0700u);
        }
    }
    unlink(privateDirectory.c_str());

    if (savedRuntime != nullptr)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    if (savedTemporary != nullptr)
        setenv("TMPDIR", savedTemporaryText.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

}  // namespace
