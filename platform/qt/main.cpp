// Kelvor on Linux: the application object run over the Qt shell.
#include <QApplication>

#include "app/KelvorApp.h"
#include "platform/qt/QtAppHost.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QtAppHost host(QApplication::applicationFilePath());
    CKelvorApp kelvor(host);
    kelvor.InitInstance();
    kelvor.ExitInstance();
    return 0;
}
