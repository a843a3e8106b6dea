// The signal handler writes one byte and nothing else: write() is safe in a handler, and the
// pipe's write end never blocks, so a flood of signals only drops bytes that say the same.
#include "platform/posix/PosixSignalPipe.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <iterator>

namespace {

volatile sig_atomic_t g_writeDescriptor = -1;

void OnTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    if (g_writeDescriptor >= 0) {
        ssize_t written = write(g_writeDescriptor, &byte, 1);
        (void)written;  // a full pipe already holds the news
    }
    errno = savedErrno;
}

}  // namespace

PosixSignalPipe::PosixSignalPipe()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readDescriptor = ends[0];
    m_writeDescriptor = ends[1];
    g_writeDescriptor = m_writeDescriptor;

    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on; the stream's waits retry on EINTR themselves.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &m_previous[i]);
}

PosixSignalPipe::~PosixSignalPipe()
{
    if (m_readDescriptor < 0)
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &m_previous[i], nullptr);
    g_writeDescriptor = -1;
    close(m_writeDescriptor);
    close(m_readDescriptor);
}

int PosixSignalPipe::TakeSignals()
{
    if (m_readDescriptor < 0)
        return 0;
    int count = 0;
    char bytes[64];
    for (;;) {
        const ssize_t got = read(m_readDescriptor, bytes, sizeof bytes);
        if (got > 0) {
            count += static_cast<int>(got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return count;
    }
}
