// The named lock that keeps a second copy of the program from running.
#ifndef KELVOR_APP_INSTANCEGUARD_H
#define KELVOR_APP_INSTANCEGUARD_H

#include <string>

class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    // 1 when another running process holds the guard of this name (the handle that found it
    // is closed again), 0 when there is none.
    virtual int OpenExisting(const std::string& name) = 0;
    // Creates the guard and holds it until the process ends; the system releases it then,
    // also when the process is killed.
    virtual void Create(const std::string& name) = 0;
};

#endif
