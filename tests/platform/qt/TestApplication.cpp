// Creates the tests' QApplication on first use and keeps it for the whole test program.
#include "TestApplication.h"

#include <QApplication>
#include <QFont>

QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "kelvor-qt-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        auto* created = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *application;
}

void DrainEvents() {
    for (int round = 0; round < 5; ++round) QApplication::processEvents(QEventLoop::AllEvents);
}

// Under the leak checker: the font configuration library keeps its caches until the process
// ends, which is no leak of the program's. The checker asks for this list itself.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
