// A stopwatch for tests that check that a wait ends, kept apart so that files compiled with
// the Shift_JIS flag can use it without including <chrono>.
#ifndef KELVOR_TESTS_SUPPORT_STOPWATCH_H
#define KELVOR_TESTS_SUPPORT_STOPWATCH_H

class CStopwatch {
public:
    // Starts at once.
    CStopwatch();
    long long ElapsedMilliseconds() const;

private:
    long long m_startNanoseconds;
};

#endif
