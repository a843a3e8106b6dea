// A stopwatch over the steady clock.
#include "Stopwatch.h"

#include <chrono>

namespace {

long long NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CStopwatch::CStopwatch()
    : m_startNanoseconds(NowNanoseconds())
{
}

long long CStopwatch::ElapsedMilliseconds() const
{
    return (NowNanoseconds() - m_startNanoseconds) / 1000000;
}
