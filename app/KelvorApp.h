// CKelvorApp: the application object. InitInstance is the whole run of the program:
// the single-instance guard, the socket library, the settings, the main window.
#ifndef KELVOR_APP_KELVORAPP_H
#define KELVOR_APP_KELVORAPP_H

#include "app/AppHost.h"

class CKelvorApp {
public:
    explicit CKelvorApp(AppHost& host);
    // Always false: no message loop follows, the program ends after it on every path.
    bool InitInstance();
    // Releases the socket library if InitInstance started it.
    int ExitInstance();

private:
    AppHost& m_host;
    bool m_socketsStarted = false;
};

#endif
