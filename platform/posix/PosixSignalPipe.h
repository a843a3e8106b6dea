// PosixSignalPipe: the termination signals (SIGTERM, SIGHUP, SIGINT) turned into bytes on a
// pipe, so that the program's own event loop ends it in order instead of the signal handler.
#ifndef KELVOR_PLATFORM_POSIX_POSIXSIGNALPIPE_H
#define KELVOR_PLATFORM_POSIX_POSIXSIGNALPIPE_H

#include <csignal>
#include <iterator>

class PosixSignalPipe {
public:
    // Installs the handlers; the ones before come back when the object goes. One object at a
    // time: the handler writes to the pipe of the latest.
    PosixSignalPipe();
    ~PosixSignalPipe();
    PosixSignalPipe(const PosixSignalPipe&) = delete;
    PosixSignalPipe& operator=(const PosixSignalPipe&) = delete;

    // false when the pipe could not be made; the signals then keep their default action.
    bool Installed() const { return m_readDescriptor >= 0; }
    // Readable as soon as a signal has arrived.
    int ReadDescriptor() const { return m_readDescriptor; }
    // Empties the pipe; the number of signals that had arrived since the last call.
    int TakeSignals();

private:
    static constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

    int m_readDescriptor = -1;
    int m_writeDescriptor = -1;
    struct sigaction m_previous[std::size(kSignals)] = {};
};

#endif
