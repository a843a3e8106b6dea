// SessionEndWatcher: what tells the Qt shell that the user's session is ending: the
// termination signals (through a pipe, read by the event loop) and the session manager's
// requests to save and to die. It only reports them; the main window's behaviour decides.
#ifndef KELVOR_PLATFORM_QT_SESSIONENDWATCHER_H
#define KELVOR_PLATFORM_QT_SESSIONENDWATCHER_H

#include <QObject>

#include "platform/posix/PosixSignalPipe.h"

class QSessionManager;
class QSocketNotifier;

class SessionEndWatcher : public QObject {
    Q_OBJECT
public:
    // Watches from now until the object goes; the signals' handlers go with it.
    SessionEndWatcher();
    ~SessionEndWatcher() override;

signals:
    // SIGTERM, SIGHUP or SIGINT arrived, or the session manager ends the program.
    void quitRequested();
    // The session manager asks the program to save its data: the session may end soon.
    void saveRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnSignalPipeReadable();
    static void NeverRestart(QSessionManager& manager);

    PosixSignalPipe m_signals;
    QSocketNotifier* m_notifier = nullptr;
};

#endif
