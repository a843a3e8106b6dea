// The application host of the Qt shell.
#include "platform/qt/QtAppHost.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>

#include "app/ResourceStrings.h"
#include "platform/qt/KelvorDlgHandlers.h"
#include "platform/qt/ShiftJisText.h"

QtAppHost::QtAppHost(const QString& programFilePath)
    // The name without directory and without its last extension.
    : m_title(ToShiftJis(QFileInfo(programFilePath).completeBaseName())) {}

std::string QtAppHost::ApplicationTitle() {
    return m_title;
}

std::string QtAppHost::LoadString(int stringId) {
    return ResourceString(stringId);
}

InstanceGuard& QtAppHost::Guard() {
    return m_guard;
}

Profile& QtAppHost::Settings() {
    return m_profile;
}

PasswordKeeper& QtAppHost::Keeper() {
    return m_keeper;
}

PasswordKeeper& QtAppHost::TokenKeeper() {
    return m_tokenKeeper;
}

SignInPlatform* QtAppHost::SignIn() {
    return &m_signIn;
}

int QtAppHost::FindTopLevelWindow(const std::string&) {
    // Windows of other processes cannot be searched by title here; a found guard alone
    // means the program runs, so the refusal message is always shown.
    return 1;
}

int QtAppHost::StartSockets() {
    return 1;  // POSIX sockets need no start
}

void QtAppHost::StopSockets() {}

void QtAppHost::ShowStartupMessage(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::Warning, FromShiftJis(caption), FromShiftJis(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
    box.exec();
}

void QtAppHost::PrepareDialogs() {
    // Message boxes and the tray menu take the Japanese Gothic face of the dialogs; the
    // program lives in the tray, so closing its last window never ends it.
    QFont font(QStringLiteral("IPAPGothic"), 9);
    QApplication::setFont(font);
    QApplication::setQuitOnLastWindowClosed(false);
}

Window& QtAppHost::MainWindow() {
    if (!m_window) m_window = std::make_unique<QtWindow>();
    return *m_window;
}

int QtAppHost::RunMainWindow(CKelvorDlg& dialog) {
    QtWindow& window = static_cast<QtWindow&>(MainWindow());
    KelvorDlgHandlers handlers(dialog);
    window.Attach(&handlers);
    if (!m_sessionEnd) m_sessionEnd = std::make_unique<SessionEndWatcher>();
    // The session's end reaches the dialog only while it runs: the connections go with this.
    QObject running;
    QObject::connect(m_sessionEnd.get(), &SessionEndWatcher::quitRequested, &running,
                     [&dialog] { dialog.OnSystemQuit(); });
    QObject::connect(m_sessionEnd.get(), &SessionEndWatcher::saveRequested, &running,
                     [&dialog] { dialog.OnEndSession(1); });
    dialog.OnInitDialog();
    int result = window.RunUntilEnded();
    window.Destroy();
    dialog.OnDestroy();
    window.Attach(nullptr);
    return result;
}
