// The one QApplication of the Qt shell tests, on the off-screen platform unless the
// environment names another.
#ifndef KELVOR_TESTS_PLATFORM_QT_TESTAPPLICATION_H
#define KELVOR_TESTS_PLATFORM_QT_TESTAPPLICATION_H

class QApplication;

QApplication& TestApplication();

// Runs queued events until none are left.
void DrainEvents();

#endif
