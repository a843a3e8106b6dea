// The look-up of a host name's addresses within the connect's time limit: the system's look-up
// runs on a thread of its own, which the connect stops waiting for once its limit has passed.
#ifndef KELVOR_POP3_HOSTLOOKUP_H
#define KELVOR_POP3_HOSTLOOKUP_H

#include <string>
#include <vector>

#include "pop3/TcpAddress.h"

// A look-up of the addresses of a host name, which takes as long as the name servers make it:
// 1 with at least one address (their ports left 0), else 0.
using HostLookup = int (*)(const std::string& host, std::vector<TcpAddress>& addresses);

// The system's look-up (getaddrinfo), implemented beside each platform's TCP stream. The
// addresses come in the order the system gives them.
int SystemHostLookup(const std::string& host, std::vector<TcpAddress>& addresses);

// Makes LookUpHost run lookup instead of the system's look-up, so that tests can give one that
// answers late or never; nullptr gives the system's back. Returns the one it replaces.
HostLookup ReplaceHostLookup(HostLookup lookup);

// While this many look-ups are running, a look-up of another name is not started: each left
// running holds a thread for as long as the name servers keep it, minutes at worst.
inline constexpr std::size_t kMostLookUpsRunning = 4;

// Looks up host and waits at most timeLimitMilliseconds for the answer. A look-up that has not
// answered by then is left running on its own thread; its answer is dropped, and freed, when it
// comes, and nothing waits for it, not even the program's exit. A later call for the same host
// waits for the look-up still running instead of starting another; a call for another host
// fails at once while kMostLookUpsRunning look-ups are running. 1 with the addresses (their
// ports left 0), 0 when the name has none, the look-up failed or it did not answer in time.
int LookUpHost(const std::string& host, int timeLimitMilliseconds, std::vector<TcpAddress>& addresses);

#endif
