// The session's end as the Qt shell sees it: signals from the pipe, and the session manager.
#include "platform/qt/SessionEndWatcher.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

SessionEndWatcher::SessionEndWatcher() {
    if (m_signals.Installed()) {
        m_notifier = new QSocketNotifier(m_signals.ReadDescriptor(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &SessionEndWatcher::OnSignalPipeReadable);
    }
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The program is started at login by its autostart entry; a session manager that
        // restarted it as well would meet the running one and bring up the refusal message.
        connect(application, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
            NeverRestart(manager);
            emit saveRequested();
        });
        connect(application, &QGuiApplication::saveStateRequest, this, &SessionEndWatcher::NeverRestart);
        // The session manager's "die" reaches the application as a quit event, which would
        // otherwise ask each window to close; the main window takes a close request for "OK".
        application->installEventFilter(this);
    }
}

SessionEndWatcher::~SessionEndWatcher() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(this);
}

bool SessionEndWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
        emit quitRequested();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SessionEndWatcher::OnSignalPipeReadable() {
    if (m_signals.TakeSignals() > 0) emit quitRequested();
}

void SessionEndWatcher::NeverRestart(QSessionManager& manager) {
    manager.setRestartHint(QSessionManager::RestartNever);
}
