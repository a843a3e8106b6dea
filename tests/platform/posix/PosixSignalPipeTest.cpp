// The termination signals reach the pipe instead of ending the process, and the handlers that
// were there before come back when the pipe goes.
#include <gtest/gtest.h>

#include <poll.h>

#include <csignal>

#include "platform/posix/PosixSignalPipe.h"

namespace {

bool Readable(int descriptor) {
    pollfd entry{descriptor, POLLIN, 0};
    return poll(&entry, 1, 0) == 1;
}

TEST(PosixSignalPipe, EachTerminationSignalBecomesAByteAndTheOldHandlersReturn) {
    // Ignored before, so that a signal that slipped past the pipe would not end the tests.
    for (int number : {SIGTERM, SIGHUP, SIGINT}) std::signal(number, SIG_IGN);
    {
        PosixSignalPipe pipe;
        ASSERT_TRUE(pipe.Installed());
        EXPECT_FALSE(Readable(pipe.ReadDescriptor()));
        EXPECT_EQ(pipe.TakeSignals(), 0);
        for (int number : {SIGTERM, SIGHUP, SIGINT}) {
            SCOPED_TRACE(number);
            ASSERT_EQ(std::raise(number), 0);
            EXPECT_TRUE(Readable(pipe.ReadDescriptor()));
            EXPECT_EQ(pipe.TakeSignals(), 1);
            EXPECT_FALSE(Readable(pipe.ReadDescriptor()));
        }
        std::raise(SIGTERM);
        std::raise(SIGTERM);
        EXPECT_EQ(pipe.TakeSignals(), 2);
    }
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction now = {};
        sigaction(number, nullptr, &now);
        EXPECT_EQ(now.sa_handler, SIG_IGN) << number;
        std::signal(number, SIG_DFL);
    }
}

}  // namespace
