// The Windows headers as the shell includes them. The program's interfaces name an operation
// LoadString; the system's macro of that name would rename it, so it is removed here and the
// system function is called as LoadStringA.
#ifndef KELVOR_PLATFORM_WIN32_SYSTEMHEADERS_H
#define KELVOR_PLATFORM_WIN32_SYSTEMHEADERS_H

#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>

#undef LoadString

#endif
