// CKelvorDlg: the main window's behaviour. It holds the settings, the tray icon record and
// the mail state, and every activity of the running program is one of its handlers: the
// field exchange, the check cycle, the tray icon, the received list, the version box, exit.
#ifndef KELVOR_APP_KELVORDLG_H
#define KELVOR_APP_KELVORDLG_H

#include <functional>
#include <memory>
#include <string>

#include "app/SettingsStore.h"
#include "app/Window.h"
#include "pop3/UniqueIdSet.h"

class CPop3Client;
class CSignIn;

enum class FieldDirection { Show, Read };

class CKelvorDlg {
public:
    // Message boxes of the handlers carry the application title as caption. Settings taken
    // over at "OK" and at the end of the session go to store; without one they stay in memory.
    CKelvorDlg(Window& window, std::string applicationTitle, SettingsStore* store = nullptr);

    // The settings, then the running state, in this order.
    int m_interval = 0;
    std::string m_password;
    std::string m_server;
    std::string m_user;
    int m_popup = 0;
    TrayRecord m_trayIcon;
    int m_ticks = 0;
    int m_busy = 0;
    int m_lastCount = 0;
    // The unique ids of the messages that the last check or listing found, where the server
    // gave them; empty where it did not, after viewing a message and after the server changed.
    // With ids on both sides a check tells new messages by id; otherwise by the count.
    CUniqueIdSet m_lastIds;
    int m_hIcon = 0;  // the application icon's resource

    // The clock that paces the repainting of a listing, in milliseconds; a steady clock
    // unless a test gives another.
    void SetClock(std::function<long long()> milliseconds);
    // Signing in with the mail provider: with it, a server whose host has a sign-in entry and
    // an empty password is logged in to with an access token. Without it (null, the default)
    // every login is USER and PASS.
    void SetSignIn(CSignIn* signIn);

    // Moves the five settings between the controls and the members. Show cannot fail;
    // Read validates the interval and returns 1, or 0 after its message.
    int ExchangeFields(FieldDirection direction);

    // Window start, once, before the window is first shown.
    void OnInitDialog();
    // Commands 1, 2, 3, 4, 16, 32771 and 32772; returns false for any other id.
    bool OnCommand(int commandId);
    void OnHide();
    void OnExit();

    // The session is about to end: 1, the program agrees without asking anything.
    int OnQueryEndSession();
    // The session ends (ending 1) or goes on after all (0). When it ends the process may be
    // gone as soon as this returns, so the settings are written now: the fields if they pass
    // the exchange, otherwise the members as they are.
    void OnEndSession(int ending);
    // The system asks the program to end (a termination signal, the session manager): no box;
    // the fields are taken over if they pass the exchange and the window ends, so that the
    // normal end follows: the tray icon goes and the settings are written.
    void OnSystemQuit();

    void OnTimer(unsigned timerId);
    void OnCheck();
    void OnTrayCheck();
    void CheckMail(int manual);

    void AddTrayIcon();
    void SetTrayIcon(int newMail);
    void SetTrayTip(const std::string& status);
    long OnTrayNotify(unsigned iconId, int mouseEvent);
    // The window has been destroyed: the tray icon leaves the notification area.
    void OnDestroy();

    void OnShowList();
    void OnListDblClk();

    void OnSysCommand(unsigned commandId, long position);
    void OnAppAbout();

    void OnPaint();
    int OnQueryDragIcon() const;
    void OnHelp();

private:
    // A message box of the handlers: "OK", no icon, the application title as caption.
    void ShowPlain(const std::string& text);
    // A string of the platform's table, or the program's own text when the platform has
    // none under that id, so that no validation message ever comes up empty.
    std::string LoadStringOrOwn(int stringId);
    // Shows a validation message, then focuses the interval field and selects its text.
    int FailIntervalField(const std::string& message);
    // The four fields after the interval, into their members.
    void TakeLaterFields();
    // The five fields into the members when the interval passes, without any message; 1 then,
    // 0 when it does not and the members stay as they were.
    int TakeFieldsQuietly();
    void StoreSettings();
    // Starts the conversation of a list command: busy, wait cursor, fields taken over, login,
    // count remembered. 1 when the mailbox holds messages; otherwise 0 once the failure or the
    // empty mailbox has been shown and the command has been ended.
    int OpenListConversation(std::unique_ptr<CPop3Client>& client, const char* emptyMailboxText);
    // Ends a list command early: wait cursor off, QUIT where a conversation began, busy cleared.
    void AbandonListConversation(std::unique_ptr<CPop3Client>& client);
    // Logs in to the server of the fields in a new client: USER and PASS, or with an empty
    // password at a host with a sign-in entry, an access token. A token that the server
    // refuses gets one new token and one new conversation. The browser opens only when the
    // user asked for the command. 1 with the client logged in; 0 with errorText set and the
    // client that failed, or none when no conversation began.
    int LogIn(std::unique_ptr<CPop3Client>& client, bool userAsked, std::string& errorText);

    Window& m_window;
    std::string m_applicationTitle;
    SettingsStore* m_store;
    std::function<long long()> m_clock;
    CSignIn* m_signIn = nullptr;
};

// The modal viewer of one message: template IDD_MAILLIST, read-only text.
class CMailListDlg {
public:
    std::string m_text;
    int DoModal(Window& owner);
};

// The modal version box: template IDD_ABOUTBOX.
class CAboutDlg {
public:
    int DoModal(Window& owner);
};

#endif
