// The Window of the Qt shell: the main window's controls, message boxes, wait cursor, list,
// tray icon, timer, modal boxes and the box that waits for a sign-in, over Qt Widgets. Texts
// cross to and from Shift_JIS here.
#ifndef KELVOR_PLATFORM_QT_QTWINDOW_H
#define KELVOR_PLATFORM_QT_QTWINDOW_H

#include <QEventLoop>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <map>

#include "app/Window.h"
#include "platform/qt/MainDialog.h"
#include "platform/qt/WindowHandlers.h"

class QTimer;

class QtWindow : public QObject, public Window {
    Q_OBJECT
public:
    // trayAvailable answers whether a notification area is there to take the icon; without
    // one, hiding the window would leave no way back to it, so Hide minimises instead.
    explicit QtWindow(std::function<bool()> trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable);
    ~QtWindow() override;

    // Where the window's events go from now on; before that, and after EndDialog, they are dropped.
    void Attach(WindowHandlers* handlers);
    // Runs the window's events until EndDialog and returns the result given to it.
    int RunUntilEnded();
    // The end of the window: its timers stop and it disappears. The tray icon stays until the
    // handlers delete it.
    void Destroy();

    MainDialog& Dialog() { return m_dialog; }
    QSystemTrayIcon& TrayIcon() { return m_tray; }
    bool TrayIconAdded() const { return m_trayAdded; }

    std::string GetControlText(int controlId) override;
    void SetControlText(int controlId, const std::string& text) override;
    int GetCheck(int controlId) override;
    void SetCheck(int controlId, int state) override;
    void SetFocus(int controlId) override;
    void FocusAndSelectAll(int controlId) override;

    MessageAnswer ShowMessage(const std::string& text, const std::string& caption,
                              MessageStyle style) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

    void ListReset() override;
    void ListAppend(const std::string& entry) override;
    int ListSelection() override;
    void RepaintNow() override;

    void ShowNormal() override;
    void Hide() override;
    void SetWindowIcons(int iconResource) override;

    void TrayRequest(TrayAction action, const TrayRecord& record) override;
    void ShowTrayMenu(int menuResource) override;

    void ShowViewer(std::string& text) override;
    void ShowAboutBox() override;

    std::string LoadString(int stringId) override;
    bool HasSystemMenu() override;
    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(int commandId, const std::string& text) override;
    void DefaultSystemCommand(unsigned commandId, long position) override;

    void StartTimer(int timerId, unsigned periodMilliseconds) override;
    void EndDialog(int result) override;

    bool IsMinimized() override;
    void GetClientSize(int& width, int& height) override;
    void GetStandardIconSize(int& width, int& height) override;
    void DrawIconAt(int iconResource, int x, int y) override;
    void DefaultPaint() override;

    void ShowHelp(unsigned topic) override;

    bool OpenWebAddress(const std::string& address) override;
    bool WaitForSignIn(const std::function<bool()>& poll) override;

private:
    // The handlers while the window runs; none once it has ended, so that nothing starts then.
    WindowHandlers* LiveHandlers() const;
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);

    MainDialog m_dialog;
    QSystemTrayIcon m_tray;
    bool m_trayAdded = false;
    std::function<bool()> m_trayAvailable;
    WindowHandlers* m_handlers = nullptr;
    std::map<int, QTimer*> m_timers;
    int m_waitCursors = 0;
    QEventLoop m_loop;
    bool m_ended = false;
    int m_result = 0;
};

#endif
