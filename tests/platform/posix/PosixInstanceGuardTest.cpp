// The single-instance guard on POSIX: found while another holder lives, gone when the
// holder ends, also when it is killed.
#include <csignal>
#include <cstdlib>
#include <string>
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

TEST(PosixInstanceGuardTest, LockFileLiesInTheRuntimeDirectoryElsePerUserInTheTemporaryOne)
{
    const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = savedRuntime != nullptr ? savedRuntime : "";

    setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(PosixInstanceGuard().PathOf(kGuard), std::string("/run/user/4242/") + kGuard);

    unsetenv("XDG_RUNTIME_DIR");
    const std::string fallback = PosixInstanceGuard().PathOf(kGuard);
    EXPECT_NE(fallback.find(std::string("/") + kGuard + "-" + std::to_string(getuid())), std::string::npos)
        << fallback;

    if (savedRuntime != nullptr)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
