// CKelvorApp: the application object. InitInstance is the whole run of the program:
// the single-instance guard, the socket library, the settings, the main window.
#ifndef KELVOR_APP_KELVORAPP_H
#define KELVOR_APP_KELVORAPP_H

#include <memory>
#include <string>

#include "app/AppHost.h"
#include "app/PasswordSetting.h"
#include "app/RefreshTokenSetting.h"
#include "app/SettingsStore.h"

class CKelvorApp : private SettingsStore {
public:
    explicit CKelvorApp(AppHost& host);
    // Always false: no message loop follows, the program ends after it on every path.
    bool InitInstance();
    // Releases the socket library if InitInstance started it.
    int ExitInstance();

private:
    // The five settings into the profile file, INT, POP, USR, PWD, PUP in this order: after
    // the window has ended, and whenever the window has them confirmed while it runs. The
    // password goes to the system's keeper where one takes it, and PWD then leaves the file.
    void StoreSettings(const CKelvorDlg& dialog) override;

    AppHost& m_host;
    bool m_socketsStarted = false;
    std::string m_profileFile;
    std::unique_ptr<CPasswordSetting> m_password;
    // Signing in with the mail provider, where the platform offers it: the refresh tokens'
    // place and the sign-in's rules, alive as long as the window.
    std::unique_ptr<CRefreshTokenSetting> m_refreshTokens;
    std::unique_ptr<CSignIn> m_signIn;
};

#endif
