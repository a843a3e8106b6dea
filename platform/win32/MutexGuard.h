// CMutexGuard: the single-instance guard as a named mutex of the system.
#ifndef KELVOR_PLATFORM_WIN32_MUTEXGUARD_H
#define KELVOR_PLATFORM_WIN32_MUTEXGUARD_H

#include "app/InstanceGuard.h"

class CMutexGuard : public InstanceGuard {
public:
    int OpenExisting(const std::string& name) override;
    // The handle is deliberately never closed: the guard must live exactly as long as the
    // process, and the system closes it when the process ends, however it ends.
    void Create(const std::string& name) override;

private:
    void* m_handle = nullptr;
};

#endif
