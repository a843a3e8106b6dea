// CWin32AppHost: what start-up needs from Windows: the program's title and strings, the named
// mutex, the settings file, the Credential Manager for the password and the sign-in's token,
// the sign-in's platform part, Winsock 1.1 and the main window.
#ifndef KELVOR_PLATFORM_WIN32_WIN32APPHOST_H
#define KELVOR_PLATFORM_WIN32_WIN32APPHOST_H

#include "platform/win32/SystemHeaders.h"
#include "app/AppHost.h"
#include "platform/win32/CredentialKeeper.h"
#include "platform/win32/MutexGuard.h"
#include "platform/win32/Win32Profile.h"
#include "platform/win32/Win32SignInPlatform.h"
#include "platform/win32/Win32Window.h"

class CWin32AppHost : public AppHost {
public:
    explicit CWin32AppHost(HINSTANCE instance);

    std::string ApplicationTitle() override;
    std::string LoadString(int stringId) override;
    InstanceGuard& Guard() override;
    Profile& Settings() override;
    PasswordKeeper& Keeper() override;
    PasswordKeeper& TokenKeeper() override;
    SignInPlatform* SignIn() override;
    int FindTopLevelWindow(const std::string& title) override;
    int StartSockets() override;
    void StopSockets() override;
    void ShowStartupMessage(const std::string& text, const std::string& caption) override;
    void PrepareDialogs() override;
    Window& MainWindow() override;
    int RunMainWindow(CKelvorDlg& dialog) override;

private:
    HINSTANCE m_instance;
    CMutexGuard m_guard;
    CWin32Profile m_profile;
    CCredentialKeeper m_keeper;
    CTokenCredentialKeeper m_tokenKeeper;
    CWin32SignInPlatform m_signIn;
    CWin32Window m_window;
};

// The program file's name without directory and extension, from a full path.
std::string FileTitleOfPath(const std::string& path);

#endif
