// What start-up and shut-down need from a platform: the program's title, its strings, the
// single-instance guard, the settings file and the keeper of the password, the socket library and the modal main window.
#ifndef KELVOR_APP_APPHOST_H
#define KELVOR_APP_APPHOST_H

#include <string>

#include "app/InstanceGuard.h"
#include "app/PasswordKeeper.h"
#include "app/Profile.h"
#include "app/Window.h"

class CKelvorDlg;
class SignInPlatform;

class AppHost {
public:
    virtual ~AppHost() = default;

    // The program file's name without directory and extension.
    virtual std::string ApplicationTitle() = 0;
    virtual std::string LoadString(int stringId) = 0;  // empty when the string is absent
    virtual InstanceGuard& Guard() = 0;
    virtual Profile& Settings() = 0;
    virtual PasswordKeeper& Keeper() = 0;
    // The keeper of the refresh tokens of signing in with a mail provider: the same seam as the
    // password's, with items of their own (one per server and user, labelled for a person).
    virtual PasswordKeeper& TokenKeeper() { static NoPasswordKeeper none; return none; }
    // The platform's part of signing in with a mail provider; null where it offers none.
    virtual SignInPlatform* SignIn() { return nullptr; }
    // 1 when a top-level window with this title exists. A platform that cannot search
    // windows by title answers 1, so a found guard always brings the message.
    virtual int FindTopLevelWindow(const std::string& title) = 0;
    // Starts the socket library at version 1.1 exactly; 1 on success. Platforms whose
    // sockets need no start answer 1.
    virtual int StartSockets() = 0;
    virtual void StopSockets() = 0;
    // A message box without an owner window: "OK" and the exclamation icon.
    virtual void ShowStartupMessage(const std::string& text, const std::string& caption) = 0;
    // Prepares the platform's dialog support before the main window is built.
    virtual void PrepareDialogs() = 0;

    // The platform window that the main window's behaviour works through.
    virtual Window& MainWindow() = 0;
    // Creates the main window, starts it (CKelvorDlg::OnInitDialog), routes its events to
    // the dialog's handlers until it ends, destroys it (CKelvorDlg::OnDestroy) and returns
    // the result given to Window::EndDialog.
    virtual int RunMainWindow(CKelvorDlg& dialog) = 0;
};

#endif
