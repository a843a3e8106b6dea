// The single-instance guard over OpenMutexA and CreateMutexA.
#include "platform/win32/MutexGuard.h"

#include "platform/win32/SystemHeaders.h"

int CMutexGuard::OpenExisting(const std::string& name)
{
    HANDLE existing = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    if (existing == nullptr)
        return 0;
    CloseHandle(existing);
    return 1;
}

void CMutexGuard::Create(const std::string& name)
{
    // No initial owner and default security: only the object's existence matters.
    m_handle = CreateMutexA(nullptr, FALSE, name.c_str());
}
