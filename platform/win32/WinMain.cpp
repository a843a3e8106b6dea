// The entry point of kelvor.exe: the application object's start-up is the whole run.
#include "platform/win32/SystemHeaders.h"

#include "app/KelvorApp.h"
#include "platform/win32/Win32AppHost.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWin32AppHost host(instance);
    CKelvorApp application(host);
    application.InitInstance();
    return application.ExitInstance();
}
