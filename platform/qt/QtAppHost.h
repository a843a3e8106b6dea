// The platform under the application object in the Qt shell: the program's title from its file,
// the POSIX settings file and guard, the Secret Service for the password and the sign-in's
// refresh token, the POSIX sign-in platform, Qt message boxes, the Qt main window, and the end
// of the session while that window runs.
#ifndef KELVOR_PLATFORM_QT_QTAPPHOST_H
#define KELVOR_PLATFORM_QT_QTAPPHOST_H

#include <memory>
#include <string>

#include "app/AppHost.h"
#include "platform/posix/PosixInstanceGuard.h"
#include "platform/posix/PosixProfile.h"
#include "platform/posix/PosixSignInPlatform.h"
#ifdef KELVOR_SECRET_SERVICE
#include "platform/posix/SecretServiceKeeper.h"
#endif
#include "platform/qt/QtWindow.h"
#include "platform/qt/SessionEndWatcher.h"

class QtAppHost : public AppHost {
public:
    // programFilePath: the path of the program file, whose base name is the title.
    explicit QtAppHost(const QString& programFilePath);

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
    std::string m_title;
    PosixInstanceGuard m_guard;
    PosixProfile m_profile;
#ifdef KELVOR_SECRET_SERVICE
    CSecretServiceKeeper m_keeper{m_title};
    CSecretServiceKeeper m_tokenKeeper{m_title, KeptSecret::RefreshToken};
#else
    NoPasswordKeeper m_keeper;
    NoPasswordKeeper m_tokenKeeper;
#endif
    PosixSignInPlatform m_signIn;
    // Made when first asked for, so that a refused start builds no window.
    std::unique_ptr<QtWindow> m_window;
    // From the window's run until the program ends, so that a termination signal that comes
    // while the settings are written at the end waits for them instead of cutting them off.
    std::unique_ptr<SessionEndWatcher> m_sessionEnd;
};

#endif
